"""Each of the six argument positions given each wrong kind of value.

Every case must raise exactly: the incompatible-arguments TypeError when the
value does not convert, or, unchanged, the exception that the argument
object itself raised while it was being consumed. In no case may the rule
run. The base election below shows that: its budget records whether it was
converted, and since arguments convert in order and the rule runs only after
all six did, an unconverted budget means the rule never ran; when the budget
itself is the wrong value, a call that reached the rule would have raised
IndexError for the listed project that has no cost.
"""

import collections.abc
from dataclasses import dataclass
from typing import Callable

import pytest

from items_mapping import ItemsMapping
from quorinbindings import equal_shares_add1, equal_shares_utils

FUNCTIONS = [equal_shares_utils, equal_shares_add1]
VOTERS, PROJECTS, COST, APPROVERS, TOTALS, BUDGET = range(6)
POSITION_NAMES = ["voters", "projects", "cost", "approvers_utilities", "total_utility", "total_budget"]


class WatchedBudget:
    """A budget of 10 that records its conversion."""

    def __init__(self):
        self.converted = False

    def __float__(self):
        self.converted = True
        return 10.0


def base_arguments():
    # "Ghost" is listed without a cost, so the rule would raise IndexError.
    return [["ann"], ["Ghost"], {}, {}, {}, WatchedBudget()]


class Broken(Exception):
    """Raised by argument objects; tests check that this very instance arrives."""


class RaisingNumber:
    """Every conversion hook fails."""

    def __float__(self):
        raise Broken("__float__")

    def __index__(self):
        raise Broken("__index__")

    def __int__(self):
        raise Broken("__int__")


class RaisingFloat:
    def __float__(self):
        raise Broken("__float__")


class RaisingIndex:
    def __index__(self):
        raise Broken("__index__")


class RaisingInt:
    def __int__(self):
        raise Broken("__int__")


class RaisingIterator:
    """A plain iterator (not a generator): a kind the sequence conversion refuses."""

    def __init__(self, first):
        self.first = first
        self.advanced = False

    def __iter__(self):
        return self

    def __next__(self):
        if self.advanced:
            raise Broken("iterator")
        self.advanced = True
        return self.first


class RaisingSequence(collections.abc.Sequence):
    """Two items long; reading the second raises."""

    def __init__(self, first, error):
        self.first = first
        self.error = error

    def __len__(self):
        return 2

    def __getitem__(self, index):
        if index == 0:
            return self.first
        if index == 1:
            raise self.error
        raise IndexError(index)


class RaisingLength(collections.abc.Sequence):
    def __init__(self, error):
        self.error = error

    def __len__(self):
        raise self.error

    def __getitem__(self, index):
        raise IndexError(index)


def raising_generator(first, error):
    yield first
    raise error


def raising_map(first, error):
    """A map object whose function fails on the second element."""
    def element(index):
        if index:
            raise error
        return first
    return map(element, range(2))


def raising(error):
    def fail():
        raise error
    return fail


# What a case expects: the incompatible-arguments TypeError, the very
# exception instance its argument raised, or an error the interpreter builds.
INCOMPATIBLE = "incompatible"


@dataclass(frozen=True)
class Raised:
    type: type
    message: str


@dataclass(frozen=True)
class Case:
    position: int
    kind: str
    # Returns the wrong value and what the call must raise.
    make: Callable[[], tuple]

    @property
    def id(self):
        return f"{POSITION_NAMES[self.position]}-{self.kind}"


def refused(value):
    return lambda: (value, INCOMPATIBLE)


def refused_fresh(build):
    """For values with state: each test gets its own."""
    return lambda: (build(), INCOMPATIBLE)


def propagated(build):
    """`build(error)` returns a value that raises `error` while it is consumed."""
    def make():
        error = Broken("consumed")
        return build(error), error
    return make


def pairs_of(utility):
    return {"Ghost": [("ann", utility)]}


# The same wrong value in every position.
WHOLE_VALUES = {
    "none": None,
    "str": "ann",
    "bytes": b"ann",
    "list_of_pairs": [("Ghost", 1)],
    "object": object(),
}

# Elements of an identifier: voters, projects, map keys, the voter of a pair.
WRONG_IDENTIFIERS = {
    "int": 7,
    "float": 1.5,
    "none": None,
    "lone_surrogate": "\ud800",
    "tuple": ("ann",),
}

# Values that are no double: costs and the budget.
WRONG_FLOATS = {
    "str": "10",
    "none": None,
    "complex": 1j,
    "int_beyond_double": 10**400,
    "list": [10.0],
    "all_hooks_raise": RaisingNumber(),
    "float_hook_raises": RaisingFloat(),
    "index_hook_raises": RaisingIndex(),
    "only_int_hook": RaisingInt(),
}

# Values that are no signed 64-bit integer: utilities and total utilities.
WRONG_INTEGERS = {
    "float": 1.0,
    "int_2_63": 2**63,
    "int_below_minus_2_63": -(2**63) - 1,
    "str": "1",
    "none": None,
    "all_hooks_raise": RaisingNumber(),
    "index_hook_raises": RaisingIndex(),
    "int_hook_raises": RaisingInt(),
    "only_float_hook": RaisingFloat(),
}

# Supporter entries that are not a two-item (identifier, integer) sequence.
WRONG_PAIRS = {
    "one_item": ("ann",),
    "three_items": ("ann", 1, 2),
    "two_char_str": "a1",
    "two_bytes": b"a\x01",
    "dict": {"ann": 1},
    "set": {"ann"},
    "none": None,
    "reversed": (1, "ann"),
}

CASES = (
    [Case(position, f"whole_{kind}", refused(value))
     for position in range(6) for kind, value in WHOLE_VALUES.items()]
    + [Case(position, "whole_int", refused(7)) for position in (VOTERS, PROJECTS, COST, APPROVERS, TOTALS)]
    # A dict is no sequence, and its values here are no pair lists.
    + [Case(position, "whole_dict", refused({"ann": 1})) for position in (VOTERS, PROJECTS, APPROVERS)]
    + [Case(position, "whole_raising_iterator", refused_fresh(lambda: RaisingIterator("Ghost")))
       for position in (VOTERS, PROJECTS, COST, APPROVERS, TOTALS)]
    + [Case(PROJECTS, "whole_list_iterator", refused_fresh(lambda: iter(["Ghost"])))]
    + [Case(BUDGET, f"budget_{kind}", refused(value)) for kind, value in WRONG_FLOATS.items()]
    + [Case(COST, f"cost_{kind}", refused({"Ghost": value})) for kind, value in WRONG_FLOATS.items()]
    + [Case(APPROVERS, f"utility_{kind}", refused(pairs_of(value)))
       for kind, value in WRONG_INTEGERS.items()]
    + [Case(TOTALS, f"total_{kind}", refused({"Ghost": value})) for kind, value in WRONG_INTEGERS.items()]
    + [Case(APPROVERS, f"pair_{kind}", refused({"Ghost": [value]})) for kind, value in WRONG_PAIRS.items()]
    + [Case(APPROVERS, f"pairs_{kind}", refused({"Ghost": value})) for kind, value in {
        "str": "ann",
        "none": None,
        "one_bare_pair": ("ann", 1),
    }.items()]
    + [Case(APPROVERS, "pairs_raising_iterator", refused_fresh(lambda: {"Ghost": RaisingIterator(("ann", 1))}))]
    + [Case(VOTERS, f"element_{kind}", refused(["ann", value])) for kind, value in WRONG_IDENTIFIERS.items()]
    + [Case(VOTERS, "first_element_lone_surrogate", refused(["\ud800"]))]
    # A wrong entry before or after a good one.
    + [Case(COST, "cost_str_before_a_good_one", refused({"Ghost": "10", "Other": 45.0})),
       Case(COST, "cost_all_hooks_raise_before_a_good_one", refused({"Ghost": RaisingNumber(), "Other": 45.0})),
       Case(TOTALS, "total_int_below_minus_2_63_after_a_good_one", refused({"Other": 1, "Ghost": -(2**63) - 1})),
       Case(TOTALS, "total_all_hooks_raise_before_a_good_one", refused({"Ghost": RaisingNumber(), "Other": 1})),
       Case(APPROVERS, "utility_float_before_a_good_pair_list",
            refused({"Ghost": [("ann", 1.0)], "Other": [("ann", 1)]}))]
    + [Case(PROJECTS, f"element_{kind}", refused([value])) for kind, value in WRONG_IDENTIFIERS.items()]
    + [Case(position, f"key_{kind}", refused({value: default}))
       for position, default in ((COST, 1.0), (APPROVERS, [("ann", 1)]), (TOTALS, 1))
       for kind, value in WRONG_IDENTIFIERS.items()]
    + [Case(APPROVERS, f"pair_voter_{kind}", refused({"Ghost": [(value, 1)]}))
       for kind, value in WRONG_IDENTIFIERS.items()]
    # Sequences, generators and the accepted iterables that raise midway.
    + [Case(position, kind, propagated(build))
       for position in (VOTERS, PROJECTS)
       for kind, build in {
           "generator_raises": lambda error: raising_generator("Ghost", error),
           "map_raises": lambda error: raising_map("Ghost", error),
           "zip_raises": lambda error: zip(raising_generator("Ghost", error)),
           "sequence_item_raises": lambda error: RaisingSequence("Ghost", error),
           "sequence_length_raises": lambda error: RaisingLength(error),
       }.items()]
    + [Case(APPROVERS, kind, propagated(build)) for kind, build in {
        "pairs_generator_raises": lambda error: {"Ghost": raising_generator(("ann", 1), error)},
        "pairs_map_raises": lambda error: {"Ghost": raising_map(("ann", 1), error)},
        "pairs_zip_raises": lambda error: {"Ghost": zip(raising_generator("ann", error), [1, 2])},
        "pairs_sequence_item_raises": lambda error: {"Ghost": RaisingSequence(("ann", 1), error)},
        "pair_sequence_item_raises": lambda error: {"Ghost": [RaisingSequence("ann", error)]},
    }.items()]
    # Mappings that cannot list their entries.
    + [Case(position, kind, propagated(build))
       for position in (COST, APPROVERS, TOTALS)
       for kind, build in {
           "items_raises": lambda error: ItemsMapping(raising(error)),
           "items_generator_raises": lambda error: ItemsMapping(lambda: raising_generator(("Ghost", 1), error)),
       }.items()]
    + [Case(position, "items_not_iterable", lambda: (
        ItemsMapping(lambda: 5),
        Raised(TypeError, "ItemsMapping.items() returned a non-iterable (type int)")))
       for position in (COST, APPROVERS, TOTALS)]
    + [Case(position, "items_not_pairs", lambda: (
        ItemsMapping(lambda: [1, 2]),
        Raised(TypeError, "cannot convert dictionary update sequence element #0 to a sequence")))
       for position in (COST, APPROVERS, TOTALS)]
    # Generators are accepted only where a sequence is wanted.
    + [Case(position, "whole_generator", lambda: (raising_generator("Ghost", Broken()), INCOMPATIBLE))
       for position in (COST, APPROVERS, TOTALS, BUDGET)]
)


def incompatible_message(function, arguments):
    signature = function.__doc__.removeprefix(function.__name__).rstrip("\n")
    return (
        f"{function.__name__}(): incompatible function arguments. "
        "The following argument types are supported:\n"
        f"    1. {signature}\n\n"
        f"Invoked with: {', '.join(repr(a) for a in arguments)}"
    )


@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.__name__)
@pytest.mark.parametrize("case", CASES, ids=lambda c: c.id)
def test_wrong_kind_raises_exactly_and_never_reaches_the_rule(function, case):
    wrong, expected = case.make()
    arguments = base_arguments()
    budget = arguments[BUDGET]
    arguments[case.position] = wrong

    with pytest.raises(BaseException) as caught:
        function(*arguments)

    error = caught.value
    if expected == INCOMPATIBLE:
        assert type(error) is TypeError
        assert str(error) == incompatible_message(function, arguments)
    elif isinstance(expected, Raised):
        assert type(error) is expected.type
        assert str(error) == expected.message
    else:
        assert error is expected
    assert not budget.converted


def test_the_base_election_reaches_the_rule():
    """Guards the argument above: unchanged, the base election is converted whole and fails in the rule."""
    for function in FUNCTIONS:
        arguments = base_arguments()
        with pytest.raises(IndexError, match=r"^_Map_base::at$"):
            function(*arguments)
        assert arguments[BUDGET].converted


@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.__name__)
@pytest.mark.parametrize("position", [VOTERS, PROJECTS, APPROVERS], ids=lambda p: POSITION_NAMES[p])
def test_refused_iterators_are_never_advanced(function, position):
    iterator = RaisingIterator("Ghost")
    arguments = base_arguments()
    arguments[position] = {"Ghost": iterator} if position == APPROVERS else iterator
    with pytest.raises(TypeError, match="incompatible function arguments"):
        function(*arguments)
    assert not iterator.advanced
