"""The module's own conversion of the six arguments against pybind11's stock
casters (the test-only extension offers the same two functions through them):
on thousands of generated argument sets that mix exact types, subclasses,
other mappings and sequences, values that do not convert and caller hooks
that record their calls, both give the same result, the same exception type
and message, and the same hook calls in the same order.
"""

import collections
import collections.abc
import decimal
import fractions
import random
import re
import types

import pytest
import quorin_stepping
import quorinbindings

CALLS = []


class Tagged:
    """Caller objects show a fixed text, so messages compare across builds."""

    tag = "?"

    def __repr__(self):
        return f"<{type(self).__name__} {self.tag}>"


class LoggedNumber(Tagged):
    def __init__(self, tag, value, fails=False):
        self.tag, self.value, self.fails = tag, value, fails

    def _hook(self, name):
        CALLS.append((name, self.tag))
        if self.fails:
            raise ArithmeticError(f"{name} of {self.tag}")
        return self.value


class FloatHook(LoggedNumber):
    def __float__(self):
        return float(self._hook("__float__"))


class IndexHook(LoggedNumber):
    def __index__(self):
        return int(self._hook("__index__"))


class IntHook(LoggedNumber):
    def __int__(self):
        return int(self._hook("__int__"))


class StrSub(str):
    def __hash__(self):
        CALLS.append(("__hash__", str(self)))
        return str.__hash__(self)


class FloatSub(float):
    pass


class IntSub(int):
    pass


class LoggedSequence(Tagged, collections.abc.Sequence):
    def __init__(self, tag, items):
        self.tag, self.items = tag, list(items)

    def __len__(self):
        CALLS.append(("__len__", self.tag))
        return len(self.items)

    def __getitem__(self, index):
        CALLS.append(("__getitem__", self.tag))
        return self.items[index]


class ListSub(list):
    def __repr__(self):
        return "ListSub(" + list.__repr__(self) + ")"


class LoggedMapping(Tagged, collections.abc.Mapping):
    def __init__(self, tag, items):
        self.tag, self.data = tag, dict(items)

    def __getitem__(self, key):
        CALLS.append(("__getitem__", self.tag))
        return self.data[key]

    def __iter__(self):
        CALLS.append(("__iter__", self.tag))
        return iter(self.data)

    def __len__(self):
        CALLS.append(("__len__", self.tag))
        return len(self.data)


class DictSub(dict):
    def items(self):
        CALLS.append(("items", "DictSub"))
        return dict.items(self)


class Generated:
    """Fresh argument sets, alike for one seed, in varied wrappings."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.count = 0

    def tag(self):
        self.count += 1
        return f"t{self.count}"

    def identifier(self, name):
        rng = self.rng
        kind = rng.choices(["str", "sub", "bytes", "bytearray", "surrogate", "int"],
                           [12, 2, 2, 1, 0.2, 0.2])[0]
        return {
            "str": lambda: name,
            "sub": lambda: StrSub(name),
            "bytes": lambda: name.encode(),
            "bytearray": lambda: bytearray(name.encode()),
            "surrogate": lambda: name + "\ud800",
            "int": lambda: 7,
        }[kind]()

    def number(self, value, integral):
        rng = self.rng
        kinds = ["plain", "int", "bool", "sub", "fraction", "decimal", "float hook", "index hook",
                 "int hook", "failing hook", "huge", "text", "none", "float for int"]
        kind = rng.choices(kinds, [20, 3, 1, 2, 1, 1, 2, 2, 1, 1, 0.3, 0.2, 0.2, 0.5])[0]
        if kind == "plain":
            return int(value) if integral else float(value)
        return {
            "int": lambda: int(value),
            "bool": lambda: bool(value),
            "sub": lambda: IntSub(int(value)) if integral else FloatSub(value),
            "fraction": lambda: fractions.Fraction(int(value)),
            "decimal": lambda: decimal.Decimal(int(value)),
            "float hook": lambda: FloatHook(self.tag(), value),
            "index hook": lambda: IndexHook(self.tag(), int(value)),
            "int hook": lambda: IntHook(self.tag(), int(value)),
            "failing hook": lambda: rng.choice([FloatHook, IndexHook, IntHook])(self.tag(), 0, fails=True),
            "huge": lambda: 10**400,
            "text": lambda: "12",
            "none": lambda: None,
            "float for int": lambda: float(value),
        }[kind]()

    def sequence(self, items):
        rng = self.rng
        kind = rng.choices(["list", "tuple", "listsub", "logged", "generator", "keys", "text"],
                           [12, 3, 1, 2, 1, 1, 0.2])[0]
        return {
            "list": lambda: list(items),
            "tuple": lambda: tuple(items),
            "listsub": lambda: ListSub(items),
            "logged": lambda: LoggedSequence(self.tag(), items),
            "generator": lambda: (item for item in items),
            "keys": lambda: self.keys_view(items),
            "text": lambda: "ab",
        }[kind]()

    @staticmethod
    def keys_view(items):
        try:
            return dict.fromkeys(items).keys()
        except TypeError:  # an unhashable item
            return list(items)

    def mapping(self, entries):
        rng = self.rng
        kind = rng.choices(["dict", "dictsub", "logged", "proxy", "ordered", "list"], [12, 2, 2, 1, 1, 0.2])[0]
        if kind == "list":
            return list(entries)
        try:
            data = dict(entries)
        except TypeError:  # an unhashable key
            return dict()
        return {
            "dict": lambda: data,
            "dictsub": lambda: DictSub(data),
            "logged": lambda: LoggedMapping(self.tag(), data),
            "proxy": lambda: types.MappingProxyType(data),
            "ordered": lambda: collections.OrderedDict(data),
        }[kind]()

    def pair(self, voter, utility):
        rng = self.rng
        kind = rng.choices(["tuple", "list", "logged", "triple"], [12, 2, 1, 0.2])[0]
        items = [self.identifier(voter), self.number(utility, integral=True)]
        return {
            "tuple": lambda: tuple(items),
            "list": lambda: list(items),
            "logged": lambda: LoggedSequence(self.tag(), items),
            "triple": lambda: (*items, 1),
        }[kind]()

    def arguments(self):
        rng = self.rng
        voters = [f"v{i}" for i in range(rng.randint(0, 4))]
        projects = [f"p{i}" for i in range(rng.randint(0, 4))]
        keys = projects + (["px"] if rng.random() < 0.2 else [])
        cost = [(self.identifier(p), self.number(rng.choice([1, 2, 5, 10, 0]), integral=False))
                for p in keys if rng.random() < 0.95]
        approvers = []
        for p in keys:
            if rng.random() < 0.95:
                supporters = rng.sample(voters + ["stranger"], rng.randint(0, len(voters) + 1))
                pairs = [self.pair(v, rng.randint(1, 3)) for v in supporters]
                approvers.append((self.identifier(p), self.sequence(pairs)))
        totals = [(self.identifier(p), self.number(rng.randint(1, 6), integral=True))
                  for p in keys if rng.random() < 0.95]
        return (
            self.sequence([self.identifier(v) for v in voters]),
            self.sequence([self.identifier(p) for p in projects]),
            self.mapping(cost),
            self.mapping(approvers),
            self.mapping(totals),
            self.number(rng.choice([0, 5, 10, 20]), integral=False),
        )


def outcome_and_calls(function, seed):
    arguments = Generated(seed).arguments()
    CALLS.clear()
    try:
        outcome = function(*arguments)
    except Exception as error:
        outcome = (type(error).__name__, re.sub(r"0x[0-9a-f]+", "0x?", str(error)))
    return outcome, list(CALLS)


@pytest.mark.parametrize("name", ["equal_shares_utils", "equal_shares_add1"])
def test_own_conversion_matches_the_stock_casters(name):
    ours = getattr(quorinbindings, name)
    stock = getattr(quorin_stepping, name)
    kinds = collections.Counter()
    for seed in range(3000):
        expected = outcome_and_calls(stock, seed)
        assert outcome_and_calls(ours, seed) == expected, seed
        kinds[expected[0][0] if isinstance(expected[0], tuple) else "result"] += 1
    # The generated sets reach results, refusals and missing keys alike.
    assert kinds["result"] > 500 and kinds["TypeError"] > 500 and kinds["IndexError"] > 50, kinds
