"""The completion that skips whole steps against the one that takes them all.

equal_shares_add1 skips the steps whose outcome provably cannot change; the
test-only extension quorin_stepping reruns the rule at every step. Their
results must be identical everywhere: any difference is a fault in the
skipping, never a reason to loosen the comparison.
"""

import random

import pytest
import quorin_stepping
import quorinbindings

import elections
from outcomes import result_or_error
from quorin.pabulib import read_election

# Stepping through more runs than this is too slow for a random election;
# the shared ones may take more (one takes 51,517 steps).
MAX_STEPPING_RUNS = 20_000
MAX_STEPPING_RUNS_SHARED = 100_000
INSTANCES_PER_FAMILY = 10_000
# 22,002 steps of about 10 ms each: the benchmark compares it instead.
SLOW_TO_STEP = {"Hungary_Budapest_2024.pb"}


def stepping(args, max_runs=MAX_STEPPING_RUNS):
    return result_or_error(quorin_stepping.equal_shares_add1_stepping, (*args, max_runs))


TOO_MANY_RUNS = ("ValueError", "stepping needs more runs than allowed")


@pytest.mark.timeout(600)
@pytest.mark.parametrize("family", sorted(elections.STEPPING_FAMILIES))
def test_skipping_agrees_with_stepping_on_random_elections(family):
    generate = elections.STEPPING_FAMILIES[family]
    too_long = 0
    for seed in range(INSTANCES_PER_FAMILY):
        args = generate(random.Random(f"{family}-{seed}"))
        expected = stepping(args)
        if expected == TOO_MANY_RUNS:
            too_long += 1
            continue
        assert result_or_error(quorinbindings.equal_shares_add1, args) == expected, (family, seed, args)
    # Only the awkward family (huge budgets, costs of every sign) has any.
    assert too_long <= INSTANCES_PER_FAMILY // 20


@pytest.mark.timeout(600)
def test_skipping_agrees_with_stepping_on_shared_elections(pabulib_dir):
    for path in sorted(pabulib_dir.glob("*.pb")):
        if path.name in SLOW_TO_STEP:
            continue
        args = read_election(path).arguments()
        assert quorinbindings.equal_shares_add1(*args) == stepping(args, MAX_STEPPING_RUNS_SHARED), path.name


@pytest.mark.timeout(60)
@pytest.mark.parametrize("args, expected", [
    # Big is affordable only once each voter holds 1e9: stepping would rerun
    # a billion times to find that the outcome then overshoots.
    ((["v1"], ["Big", "Free"], {"Big": 1e9, "Free": 0.0}, {"Big": [("v1", 1)]}, {"Big": 1}, 10.0), []),
    # Never affordable at all: the steps run out at 2**53.
    ((["v1"], ["Big", "Free"], {"Big": float("inf"), "Free": 0.0}, {"Big": [("v1", 1)]}, {"Big": 1},
      10.0), []),
    # Supported only by someone who holds nothing, beside a winner.
    ((["v1", "v2", "v3"], ["Big", "Free", "Y"], {"Big": 1e17, "Free": 0.0, "Y": 3.0},
      {"Big": [("stranger", 1)], "Y": [("v1", 1)]}, {"Big": 1, "Y": 1}, 12.0), ["Y"]),
    # T1 and T2 tie with each other, and with Big wherever it is affordable:
    # stepping would rerun about as many times as Big costs.
    *[((["v1"], ["T1", "T2", "Big", "Free"], {"T1": 10.0, "T2": 10.0, "Big": big, "Free": 0.0},
        {"T1": [("v1", 1)], "T2": [("v1", 1)], "Big": [("v1", 1)]}, {"T1": 1, "T2": 1, "Big": 1}, 20.0),
       ["T1", "T2"]) for big in (1e12, 1e15, 1e18, float("inf"))],
], ids=["affordable_after_a_billion_steps", "never_affordable", "supported_by_a_stranger",
        "ties_beside_big_1e12", "ties_beside_big_1e15", "ties_beside_big_1e18", "ties_beside_infinite_big"])
def test_completions_that_stepping_could_not_finish(args, expected):
    assert quorinbindings.equal_shares_add1(*args) == expected
