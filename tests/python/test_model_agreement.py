"""The extension module against the plain Python model of the rule.

Random elections from each family go through both, and the results must be
identical: the same list of winners, or the same exception type and message.
"""

import multiprocessing
import random

import pytest
import quorinbindings

import elections
import model
from outcomes import result_or_error

INSTANCES_PER_FAMILY = 1000
# Completions that step further than this are too slow for the Python model;
# the generators keep them rare, and the test checks that they stay rare.
MAX_RUNS = 2000
MAX_SKIPPED_SHARE = 0.05
# Far beyond what one small election needs; only a runaway loop gets there.
HANG_SECONDS = 60


def seeded_instances(family):
    """(label, args) pairs; the label names the seed that rebuilds the election."""
    generate = elections.FAMILIES[family]
    for seed in range(INSTANCES_PER_FAMILY):
        yield f"seed {seed}", generate(random.Random(f"{family}-{seed}"))


def fail_with_smallest(function_name, family, disagreements):
    label, args, expected, actual = min(disagreements, key=lambda d: len(repr(d[1])))
    pytest.fail(
        f"{len(disagreements)} {family} elections disagree on {function_name}; smallest:\n"
        f"{label}\nargs {args!r}\nmodel  {expected!r}\nmodule {actual!r}"
    )


@pytest.mark.parametrize("family", sorted(elections.FAMILIES))
def test_fixed_budget_rule_matches_model(family):
    disagreements = []
    for label, args in seeded_instances(family):
        expected = result_or_error(model.equal_shares_utils, args)
        actual = result_or_error(quorinbindings.equal_shares_utils, args)
        if expected != actual:
            disagreements.append((label, args, expected, actual))
    if disagreements:
        fail_with_smallest("equal_shares_utils", family, disagreements)


def module_completion(args):
    return result_or_error(quorinbindings.equal_shares_add1, args)


def module_completions_in_child(instances):
    """The module's completions of (label, args) instances, computed in a child
    process: a loop that does not end where the model's did fails the test
    instead of hanging it."""
    with multiprocessing.get_context("fork").Pool(1) as pool:
        results = pool.imap(module_completion, [args for _, args in instances])
        for label, args in instances:
            try:
                yield label, args, results.next(timeout=HANG_SECONDS)
            except multiprocessing.TimeoutError:
                pytest.fail(f"no answer from equal_shares_add1 within {HANG_SECONDS} s "
                            f"(endless loop or crashed worker) on {label}\nargs {args!r}")


@pytest.mark.parametrize("family", sorted(elections.FAMILIES))
def test_completion_matches_model(family):
    expected = {}
    finished = []
    skipped = 0
    for label, args in seeded_instances(family):
        try:
            expected[label] = result_or_error(model.equal_shares_add1, args, max_runs=MAX_RUNS)
        except model.TooManyRuns:
            skipped += 1
            continue
        finished.append((label, args))
    disagreements = [
        (label, args, expected[label], actual)
        for label, args, actual in module_completions_in_child(finished)
        if expected[label] != actual
    ]
    if disagreements:
        fail_with_smallest("equal_shares_add1", family, disagreements)
    assert skipped <= MAX_SKIPPED_SHARE * INSTANCES_PER_FAMILY


PARK_BRIDGE_CLINIC = (
    ["voter1", "voter2", "voter3"],
    ["Park", "Bridge", "Clinic"],
    {"Park": 150, "Bridge": 120, "Clinic": 90},
    {
        "Park": [("voter1", 2), ("voter2", 1)],
        "Bridge": [("voter2", 1), ("voter3", 1)],
        "Clinic": [("voter3", 1)],
    },
    {"Park": 3, "Bridge": 2, "Clinic": 1},
    300,
)

ARENA_BENCH_CANAL = (
    ["voter1", "voter2", "voter3", "voter4", "voter5"],
    ["Arena", "Bench", "Canal"],
    {"Arena": 90, "Bench": 10, "Canal": 80},
    {
        "Arena": [("voter4", 2), ("voter2", 1), ("voter1", 1)],
        "Bench": [("voter1", 2), ("voter3", 3)],
        "Canal": [("voter2", 4), ("voter4", 1), ("voter5", 1)],
    },
    {"Arena": 4, "Bench": 5, "Canal": 6},
    180,
)

POOL_QUAY_TIE = (
    ["voter1", "voter2"],
    ["Pool", "Quay"],
    {"Pool": 100, "Quay": 80},
    {"Pool": [("voter1", 1)], "Quay": [("voter2", 1)]},
    {"Pool": 1, "Quay": 1},
    200,
)

POOL_QUAY_COMPLETION = (
    ["voter1", "voter2"],
    ["Pool", "Quay"],
    {"Pool": 4.0, "Quay": 6.0},
    {"Pool": [("voter1", 1)], "Quay": [("voter2", 1)]},
    {"Pool": 1, "Quay": 1},
    10.0,
)


def one_project(voters, pairs, project_cost, project_total, budget):
    return voters, ["Pool"], {"Pool": project_cost}, {"Pool": pairs}, {"Pool": project_total}, budget


FIXED_BUDGET_EXAMPLES = [
    ("stop test and clamped payment", PARK_BRIDGE_CLINIC, ["Park", "Bridge"]),
    ("stored values truncated", ARENA_BENCH_CANAL, ["Bench", "Arena"]),
    ("equal counts go to the cheaper", POOL_QUAY_TIE, ["Quay", "Pool"]),
    ("completion example, first run", POOL_QUAY_COMPLETION, ["Pool"]),
    ("money equal to the cost",
     one_project(["voter1"], [("voter1", 1)], 100, 1, 100), ["Pool"]),
    ("supporter missing from voters",
     one_project(["voter1"], [("voter1", 1), ("stranger", 1)], 50, 2, 100), ["Pool"]),
    ("duplicate voter gets one share",
     one_project(["voter1", "voter1", "voter2"], [("voter1", 1), ("voter2", 1)], 250, 2, 300), []),
    ("no voters", one_project([], [("voter1", 1)], 1, 1, 100), []),
    ("negative budget", one_project(["voter1"], [("voter1", 1)], 1, 1, -10), []),
]


@pytest.mark.parametrize("implementation", [model, quorinbindings], ids=["model", "module"])
@pytest.mark.parametrize(
    "args, expected",
    [example[1:] for example in FIXED_BUDGET_EXAMPLES],
    ids=[example[0] for example in FIXED_BUDGET_EXAMPLES],
)
def test_fixed_budget_examples(implementation, args, expected):
    assert implementation.equal_shares_utils(*args) == expected


def two_voters(cost, approvers):
    """Voters v1 and v2 sharing 10.0; every supporter has utility 1."""
    pairs = {p: [(v, 1) for v in supporters] for p, supporters in approvers.items()}
    totals = {p: len(supporters) for p, supporters in approvers.items()}
    return ["v1", "v2"], list(cost), cost, pairs, totals, 10.0


def with_free_project(voters, project_cost, budget):
    """One fundable project beside a free one that the rule never funds but
    that always fits, so no outcome is ever exhaustive."""
    return (voters, ["p1", "free"], {"p1": project_cost, "free": 0.0},
            {"p1": [("v1", 1)]}, {"p1": 1}, budget)


# (name, args, expected result, runs of the fixed-budget rule)
COMPLETION_EXAMPLES = [
    ("rerun adds the tied project", POOL_QUAY_COMPLETION, ["Pool", "Quay"], 2),
    ("nothing else fits: one run",
     two_voters({"p1": 6.0, "p2": 5.0}, {"p1": ["v1", "v2"], "p2": ["v1"]}), ["p1"], 1),
    ("reruns until the outcome is full",
     two_voters({"p1": 6.0, "p2": 4.0}, {"p1": ["v1", "v2"], "p2": ["v1"]}), ["p1", "p2"], 3),
    ("overshooting rerun is discarded",
     two_voters({"p1": 6.0, "p2": 3.0, "p3": 3.0}, {"p1": ["v1", "v2"], "p2": ["v1"], "p3": ["v2"]}),
     ["p1"], 2),
    ("negative budget", one_project(["v1"], [("v1", 1)], 1.0, 1, -5.0), [], 1),
    ("no voters", one_project([], [("v1", 1)], 1.0, 1, 10.0), [], 1),
    ("no projects", (["v1"], [], {}, {}, {}, 10.0), [], 1),
    ("never exhaustive: one jump", with_free_project(["v1"], 1.0, 100.0), ["p1"], 2),
    ("never exhaustive, infinite budget", with_free_project(["v1"], 1.0, float("inf")), ["p1"], 2),
    ("virtual budget stops growing", with_free_project(["v1"], float("inf"), 1e300), [], 1),
    # In listing order A absorbs the two tiny costs; bought last it does not,
    # so the rerun at 2.0 overshoots by one unit of roundoff.
    ("outcome cost rounds above the listing-order sum",
     (["v1"], ["A", "B", "C", "Z"], {"A": 1.0, "B": 2.0 ** -53, "C": 2.0 ** -53, "Z": 0.0},
      {"A": [("v1", 1)], "B": [("v1", 3)], "C": [("v1", 2)]}, {"A": 1, "B": 3, "C": 2}, 1.0),
     ["B", "C"], 2),
]


@pytest.mark.parametrize(
    "args, expected, runs",
    [example[1:] for example in COMPLETION_EXAMPLES],
    ids=[example[0] for example in COMPLETION_EXAMPLES],
)
def test_completion_examples(args, expected, runs):
    assert model.equal_shares_add1(*args, max_runs=runs) == expected
    with pytest.raises(model.TooManyRuns):
        model.equal_shares_add1(*args, max_runs=runs - 1)
    [(_, _, actual)] = module_completions_in_child([("this example", args)])
    assert actual == expected


TIE_COSTS = {"p1": 5.0, "p2": 3.0, "p3": 3.0, "p4": 3.0}
TIE_TOTALS = {"p1": 10, "p2": 1, "p3": 7, "p4": 7}


@pytest.mark.parametrize(
    "cost, total_utility, choices, expected",
    [
        (TIE_COSTS, TIE_TOTALS, ["p1", "p2", "p3", "p4"], "p3"),
        (TIE_COSTS, TIE_TOTALS, ["p4", "p3", "p2", "p1"], "p4"),
        ({"p1": 2.0, "p2": 1.0}, {"p1": 100, "p2": 1}, ["p1", "p2"], "p2"),
        ({"p1": 1.0, "p2": 1.0 + 2**-52}, {"p1": 1, "p2": 9}, ["p2", "p1"], "p1"),
        ({"p1": 1.0, "p2": 1.0}, {"p1": 2**53, "p2": 2**53 + 1}, ["p1", "p2"], "p2"),
        ({"p1": 1.0, "p2": 1.0}, {"p1": -5, "p2": -1}, ["p1", "p2"], "p2"),
        ({"p1": 1.0, "p2": 2.0}, {"p1": 1}, ["p1", "p2"], "p1"),
        ({"p1": 1.0, "p2": float("nan")}, {"p1": 1, "p2": 9}, ["p1", "p2"], "p1"),
        ({"p1": 1.0, "p2": 1.0}, {"p1": 1, "p2": 1}, ["p2", "p1", "p2"], "p2"),
    ],
)
def test_model_tie_breaking(cost, total_utility, choices, expected):
    assert model.break_ties(cost, total_utility, choices) == expected


@pytest.mark.parametrize(
    "cost, total_utility, choices",
    [
        ({"p1": 1.0}, {}, ["p1"]),
        ({"p1": 1.0}, {"p1": 1}, ["p1", "p2"]),
    ],
)
def test_model_tie_breaking_missing_key(cost, total_utility, choices):
    with pytest.raises(IndexError, match="^_Map_base::at$"):
        model.break_ties(cost, total_utility, choices)
