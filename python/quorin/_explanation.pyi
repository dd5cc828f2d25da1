# The quorin command's explanations, computed by the rule itself: the six
# arguments of quorinbindings' functions, then whether to explain the
# add-one completion rather than the fixed budget.
import collections.abc
import typing

def explain(
    voters: collections.abc.Sequence[str],
    projects: collections.abc.Sequence[str],
    cost: collections.abc.Mapping[str, typing.SupportsFloat],
    approvers_utilities: collections.abc.Mapping[
        str, collections.abc.Sequence[tuple[str, typing.SupportsInt]]
    ],
    total_utility: collections.abc.Mapping[str, typing.SupportsInt],
    total_budget: typing.SupportsFloat,
    completion: bool,
    /,
) -> dict[str, typing.Any]: ...
