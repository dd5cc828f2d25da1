# Types of the native module quorinbindings, as its signature lines show them.
# The module declares no parameter names, so every parameter is
# positional-only; the names below are for readers.
import collections.abc
import typing

def equal_shares_utils(
    voters: collections.abc.Sequence[str],
    projects: collections.abc.Sequence[str],
    cost: collections.abc.Mapping[str, typing.SupportsFloat],
    approvers_utilities: collections.abc.Mapping[
        str, collections.abc.Sequence[tuple[str, typing.SupportsInt]]
    ],
    total_utility: collections.abc.Mapping[str, typing.SupportsInt],
    total_budget: typing.SupportsFloat,
    /,
) -> list[str]:
    """The winners of one run of the Method of Equal Shares, in the order bought."""

def equal_shares_add1(
    voters: collections.abc.Sequence[str],
    projects: collections.abc.Sequence[str],
    cost: collections.abc.Mapping[str, typing.SupportsFloat],
    approvers_utilities: collections.abc.Mapping[
        str, collections.abc.Sequence[tuple[str, typing.SupportsInt]]
    ],
    total_utility: collections.abc.Mapping[str, typing.SupportsInt],
    total_budget: typing.SupportsFloat,
    /,
) -> list[str]:
    """The winners after add-one completion, in the order bought."""
