"""How Python arguments become the rule's containers, as users meet it."""

import collections.abc

import pytest

import quorinbindings
from quorinbindings import equal_shares_add1, equal_shares_utils

FUNCTIONS = [equal_shares_utils, equal_shares_add1]

# Two voters who each hold 50; Pool (40) and Quay (45) are both bought,
# the cheaper one first since both reach one effective vote.
VOTERS = ["ann", "bob"]
PROJECTS = ["Pool", "Quay"]
COST = {"Pool": 40.0, "Quay": 45.0}
APPROVERS = {"Pool": [("ann", 1)], "Quay": [("bob", 1)]}
TOTALS = {"Pool": 1, "Quay": 1}
BUDGET = 100.0
EXPECTED = ["Pool", "Quay"]


class FrozenMapping(collections.abc.Mapping):
    def __init__(self, data):
        self._data = dict(data)

    def __getitem__(self, key):
        return self._data[key]

    def __iter__(self):
        return iter(self._data)

    def __len__(self):
        return len(self._data)


def call(function, **changes):
    arguments = dict(voters=VOTERS, projects=PROJECTS, cost=COST, approvers=APPROVERS,
                     totals=TOTALS, budget=BUDGET)
    arguments.update(changes)
    return function(*arguments.values())


@pytest.mark.parametrize("function", FUNCTIONS)
@pytest.mark.parametrize("changes", [
    dict(voters=tuple(VOTERS)),
    dict(voters=set(VOTERS)),
    dict(voters=[v.encode() for v in VOTERS]),
    dict(voters=[bytearray(v.encode()) for v in VOTERS]),
    dict(projects=dict.fromkeys(PROJECTS).keys()),
    dict(cost=FrozenMapping(COST)),
    dict(approvers={p: tuple(pairs) for p, pairs in APPROVERS.items()}),
    dict(approvers={"Pool": [["ann", 1]], "Quay": [("bob", True)]}),
    dict(totals={"Pool": True, "Quay": 1}),
    dict(budget=100),
    dict(cost={"Pool": 40, "Quay": 45}),
], ids=["tuple", "set", "bytes", "bytearray", "dict_keys", "mapping", "tuple_pairs",
        "list_pair_and_bool_utility", "bool_total", "int_budget", "int_costs"])
def test_accepted_forms_give_the_same_outcome(function, changes):
    assert call(function, **changes) == EXPECTED


@pytest.mark.parametrize("function", FUNCTIONS)
def test_generators_are_accepted(function):
    assert call(function, voters=(v for v in VOTERS), projects=map(str, PROJECTS)) == EXPECTED


@pytest.mark.parametrize("function", FUNCTIONS)
def test_int64_limits_convert(function):
    approvers = {"Pool": [("ann", 2**63 - 1)], "Quay": [("bob", -2**63)]}
    totals = {"Pool": 2**63 - 1, "Quay": -2**63}
    assert call(function, approvers=approvers, totals=totals) == ["Pool"]


@pytest.mark.parametrize("function", FUNCTIONS)
def test_str_and_bytes_keys_for_the_same_bytes_keep_the_first(function):
    # Quay costs 45 under its str key; the bytes duplicate that follows is dropped.
    cost = {"Pool": 40.0, "Quay": 45.0, b"Quay": 70.0}
    assert call(function, cost=cost) == EXPECTED
    # Listed first, the bytes key's 70 wins, and Quay no longer fits beside Pool.
    cost = {b"Quay": 70.0, "Pool": 40.0, "Quay": 45.0}
    assert call(function, cost=cost) == ["Pool"]


def test_voters_missing_from_the_sequence_are_not_an_error():
    approvers = {"Pool": [("ann", 1), ("stranger", 1)], "Quay": [("bob", 1)]}
    totals = {"Pool": 2, "Quay": 1}
    assert quorinbindings.equal_shares_utils(VOTERS, PROJECTS, COST, approvers, totals, BUDGET) == EXPECTED
