# Types of the native module quorinbindings, as its signature lines show them.
# The module declares no parameter names, so every parameter is
# positional-only; the names below are for readers.
import collections.abc
import typing

# The six arguments both functions take, each type written once. The names
# start with an underscore because they exist for type checkers only.
_Voters: typing.TypeAlias = collections.abc.Sequence[str]
_Projects: typing.TypeAlias = collections.abc.Sequence[str]
_Cost: typing.TypeAlias = collections.abc.Mapping[str, typing.SupportsFloat]
_ApproversUtilities: typing.TypeAlias = collections.abc.Mapping[
    str, collections.abc.Sequence[tuple[str, typing.SupportsInt]]
]
_TotalUtility: typing.TypeAlias = collections.abc.Mapping[str, typing.SupportsInt]
_TotalBudget: typing.TypeAlias = typing.SupportsFloat
# All six in order, as quorin's reader hands them out and quorin._explanation takes them.
_Arguments: typing.TypeAlias = tuple[
    _Voters, _Projects, _Cost, _ApproversUtilities, _TotalUtility, _TotalBudget
]

def equal_shares_utils(
    voters: _Voters,
    projects: _Projects,
    cost: _Cost,
    approvers_utilities: _ApproversUtilities,
    total_utility: _TotalUtility,
    total_budget: _TotalBudget,
    /,
) -> list[str]:
    """The winners of one run of the Method of Equal Shares, in the order bought."""

def equal_shares_add1(
    voters: _Voters,
    projects: _Projects,
    cost: _Cost,
    approvers_utilities: _ApproversUtilities,
    total_utility: _TotalUtility,
    total_budget: _TotalBudget,
    /,
) -> list[str]:
    """The winners after add-one completion, in the order bought."""
