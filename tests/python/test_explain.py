"""Explained outcomes: the explained winners are the module's, each winner's
payments add up to its cost, nobody pays more than the budget holds, and
every reason agrees with the numbers shown beside it."""

import json
import math
import pathlib
import random

import pytest

import quorinbindings
from quorin import _explanation
from quorin.cli import main
from quorin.explanation import REASONS, STOPS
from quorin.outcome import RULES, compute_outcome
from quorin.pabulib import read_election

import elections

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "riverside.pb"


def close(a, b):
    return math.isclose(a, b, rel_tol=1e-9, abs_tol=1e-9)


def check_facts(args, facts, completion):
    voters, projects, cost, _, _, budget = args
    costs = {(p.decode() if isinstance(p, bytes) else p): c for p, c in cost.items()}
    module = quorinbindings.equal_shares_add1 if completion else quorinbindings.equal_shares_utils
    assert [w["project"] for w in facts["winners"]] == module(*args)
    assert [w["round"] for w in facts["winners"]] == list(range(1, len(facts["winners"]) + 1))
    spent = 0.0
    for winner in facts["winners"]:
        assert close(winner["paid"], costs[winner["project"]])
        assert 0 <= winner["paid_all_held"] <= winner["payers"]
        spent += winner["paid"]
    # The run explained hands out the share to every voter, no more.
    assert spent <= facts["share"] * len(voters) * (1 + 1e-9)
    for other in facts["others"]:
        assert other["reason"] in REASONS
        if other["reason"] in ("never affordable", "outbid"):
            assert other["held_at_end"] < costs[other["project"]]
    if completion:
        assert facts["stop"] in STOPS
    else:
        assert facts["stop"] is None and close(facts["share"], budget / len(voters))


@pytest.mark.parametrize("completion", [False, True])
@pytest.mark.parametrize("family", ["tie_free", "tie_heavy"])
def test_explanations_of_generated_elections_agree_with_the_module(family, completion):
    for seed in range(300):
        args = elections.FAMILIES[family](random.Random(f"explain-{family}-{seed}"))
        if not args[0]:
            continue
        check_facts(args, _explanation.explain(tuple(args), completion), completion)


@pytest.mark.parametrize("rule", RULES)
def test_the_bundled_example_explained(rule):
    election = read_election(EXAMPLE)
    outcome = compute_outcome(election, rule, explained=True)
    explanation = outcome.explanation
    assert list(explanation.purchases) == [w.project for w in outcome.winners]
    assert {p.project for p in explanation.not_bought} == set(election.projects) - set(explanation.purchases)
    check_facts(election.arguments(), _explanation.explain(election.arguments(), rule == "add-one"),
                rule == "add-one")
    if rule == "add-one":
        # Everything bought but RS-01 and RS-07, which the remaining money
        # cannot reach: nothing else fits.
        assert explanation.stop == "exhaustive"
        assert explanation.share * len(election.voters) > election.total_budget


def test_explanation_reaches_json_and_tables(capsys):
    assert main([str(EXAMPLE), "--explain", "--json"]) == 0
    [data] = json.loads(capsys.readouterr().out)
    assert data["stopped"] == "exhaustive" and data["share"] > 0
    assert all({"round", "price_per_utility", "payers", "paid"} <= set(w) for w in data["winners"])
    assert {p["id"] for p in data["not_bought"]} == {"RS-01", "RS-07"}
    assert all(p["reason"] == "never affordable" for p in data["not_bought"])

    assert main([str(EXAMPLE), "--explain", "--rule", "fixed"]) == 0
    shown = capsys.readouterr().out
    assert "How the winners were paid" in shown and "Not bought" in shown


def test_projects_outside_the_running_say_why(tmp_path):
    path = tmp_path / "small.pb"
    path.write_text(
        "META\nkey;value\ndescription;small\nnum_projects;3\nnum_votes;2\nbudget;10\n"
        "vote_type;approval\nrule;equal-shares\n"
        "PROJECTS\nproject_id;cost;name\nA;4;a\nB;0;b\nC;5;c\n"
        "VOTES\nvoter_id;vote\n1;A,B\n2;A\n",
        encoding="utf-8",
    )
    explanation = compute_outcome(read_election(path), "fixed", explained=True).explanation
    reasons = {p.project: p.reason for p in explanation.not_bought}
    assert reasons == {"B": "no cost", "C": "no supporters"}
