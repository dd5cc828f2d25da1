"""The outcome of an election under one of the module's two rules, with the
figures a reader of the result asks for."""

from __future__ import annotations

from collections.abc import Callable
from dataclasses import dataclass
from typing import TYPE_CHECKING

import quorinbindings

from quorin.explanation import Explanation, explain
from quorin.pabulib import Election

if TYPE_CHECKING:
    from quorin.pabulib import Arguments


@dataclass(frozen=True)
class Rule:
    # quorinbindings' function that computes the winners.
    winners: Callable[[*Arguments], list[str]]
    # How tables name it.
    title: str


RULES = {
    "add-one": Rule(quorinbindings.equal_shares_add1, "Equal Shares with add-one completion"),
    "fixed": Rule(quorinbindings.equal_shares_utils, "Equal Shares with the fixed budget"),
}


@dataclass(frozen=True)
class Winner:
    position: int
    project: str
    name: str
    cost: float
    # Voters with a positive utility for the project.
    supporters: int
    running_total: float


@dataclass(frozen=True)
class Differences:
    won_not_selected: list[str]
    selected_not_won: list[str]


@dataclass(frozen=True)
class Outcome:
    election: Election
    rule: str
    winners: list[Winner]
    explanation: Explanation | None = None

    @property
    def spent(self) -> float:
        return self.winners[-1].running_total if self.winners else 0.0

    @property
    def left(self) -> float:
        return self.election.total_budget - self.spent

    def differences(self) -> Differences | None:
        """How the winners differ from the file's selected projects; None when
        the file does not say which were selected."""
        selected = self.election.selected
        if selected is None:
            return None
        won = [winner.project for winner in self.winners]
        return Differences(
            won_not_selected=[p for p in won if p not in selected],
            selected_not_won=[p for p in selected if p not in won],
        )


def compute_outcome(election: Election, rule: str, explained: bool = False) -> Outcome:
    """The outcome of `rule`; with its explanation when `explained`."""
    winners: list[Winner] = []
    running_total = 0.0
    projects = RULES[rule].winners(*election.arguments())
    for position, project in enumerate(projects, start=1):
        cost = election.cost[project]
        running_total += cost
        winners.append(
            Winner(
                position=position,
                project=project,
                name=election.names[project],
                cost=cost,
                supporters=len(election.approvers_utilities[project]),
                running_total=running_total,
            )
        )
    explanation = explain(election, projects, add_one=rule == "add-one") if explained else None
    return Outcome(election=election, rule=rule, winners=winners, explanation=explanation)
