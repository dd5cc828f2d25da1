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


class Raising:
    """A number whose conversion hooks all fail."""

    def __float__(self):
        raise RuntimeError("no float")

    def __index__(self):
        raise RuntimeError("no index")

    def __int__(self):
        raise RuntimeError("no int")


def call(function, **changes):
    arguments = dict(voters=VOTERS, projects=PROJECTS, cost=COST, approvers=APPROVERS,
                     totals=TOTALS, budget=BUDGET)
    arguments.update(changes)
    return function(*arguments.values())


def raising_generator():
    yield "ann"
    raise LookupError("voter list broke")


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
@pytest.mark.parametrize("changes", [
    dict(voters="ann"),
    dict(voters=None),
    dict(voters=["ann", 7]),
    dict(voters=["\ud800"]),
    dict(projects=b"Pool"),
    dict(cost={"Pool": "40", "Quay": 45.0}),
    dict(cost=[("Pool", 40.0)]),
    dict(approvers={"Pool": [("ann", 1.0)], "Quay": [("bob", 1)]}),
    dict(approvers={"Pool": [("ann", 2**63)], "Quay": [("bob", 1)]}),
    dict(approvers={"Pool": [("ann", 1, 2)], "Quay": [("bob", 1)]}),
    dict(approvers={"Pool": "ann", "Quay": [("bob", 1)]}),
    dict(totals={"Pool": 1, "Quay": -2**63 - 1}),
    dict(totals={"Pool": Raising(), "Quay": 1}),
    dict(cost={"Pool": Raising(), "Quay": 45.0}),
    dict(budget=Raising()),
    dict(budget="100"),
    dict(budget=None),
], ids=["str_voters", "none_voters", "int_voter", "lone_surrogate", "bytes_projects", "str_cost",
        "list_cost", "float_utility", "utility_2_63", "three_item_pair", "str_pairs",
        "total_below_int64", "raising_total", "raising_cost", "raising_budget", "str_budget",
        "none_budget"])
def test_refused_forms_raise_incompatible_arguments(function, changes):
    with pytest.raises(TypeError, match=r"\(\): incompatible function arguments"):
        call(function, **changes)


@pytest.mark.parametrize("function", FUNCTIONS)
def test_generators_are_accepted(function):
    assert call(function, voters=(v for v in VOTERS), projects=map(str, PROJECTS)) == EXPECTED
    with pytest.raises(TypeError, match="incompatible function arguments"):
        call(function, projects=iter(PROJECTS))


@pytest.mark.parametrize("function", FUNCTIONS)
def test_int64_limits_convert(function):
    approvers = {"Pool": [("ann", 2**63 - 1)], "Quay": [("bob", -2**63)]}
    totals = {"Pool": 2**63 - 1, "Quay": -2**63}
    assert call(function, approvers=approvers, totals=totals) == ["Pool"]


@pytest.mark.parametrize("function", FUNCTIONS)
def test_exceptions_raised_while_consuming_arguments_propagate(function):
    with pytest.raises(LookupError, match="voter list broke"):
        call(function, voters=raising_generator())

    class BrokenItems(FrozenMapping):
        def items(self):
            raise KeyError("items broke")

    with pytest.raises(KeyError, match="items broke"):
        call(function, cost=BrokenItems(COST))


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
