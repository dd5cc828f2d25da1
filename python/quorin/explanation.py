"""Why an outcome is what it is: for each winner the round it was bought in
and what its supporters paid, for each other project why it was not bought,
and for the add-one completion which run was kept and why it stopped.

The facts come from the rule itself: quorin._explanation reruns the rule's
own run loop at the budget of the outcome and records what happens.
"""

from __future__ import annotations

from dataclasses import dataclass

from quorin import _explanation
from quorin.pabulib import Election

STOPS = {
    "exhaustive": "no project fits any more",
    "overshoot": "the next outcome overshoots the budget",
    "settled": "the outcome can no longer change",
}
REASONS = {
    "never affordable": "never affordable by its supporters' shares",
    "outbid": "affordable, but outbid until its supporters' money was spent elsewhere",
    "unpayable": "affordable, but its supporters could not share its cost equally",
    "no supporters": "nobody supports it",
    "no cost": "its cost is not positive, so the rule never buys it",
}


@dataclass(frozen=True)
class Purchase:
    round: int
    # Per unit of utility; supporters who could not pay it paid all they had.
    price_per_utility: float
    payers: int
    payers_who_paid_all_they_had: int
    paid: float


@dataclass(frozen=True)
class NotBought:
    project: str
    reason: str  # a key of REASONS
    # What its supporters still held when the run ended.
    supporters_hold: float

    @property
    def reason_text(self) -> str:
        return REASONS[self.reason]


@dataclass(frozen=True)
class Explanation:
    # The per-voter share of the run explained: for the add-one rule, the
    # run whose outcome was kept.
    share: float
    # For the add-one rule, a key of STOPS; None for the fixed budget.
    stop: str | None
    purchases: dict[str, Purchase]
    not_bought: list[NotBought]

    @property
    def stop_text(self) -> str | None:
        return None if self.stop is None else STOPS[self.stop]


def explain(election: Election, winners: list[str], add_one: bool) -> Explanation:
    """The explanation of `winners`, the module's outcome of `election`."""
    facts = _explanation.explain(election.arguments(), add_one)
    explained = [entry["project"] for entry in facts["winners"]]
    if explained != winners:
        raise RuntimeError(f"the explained winners {explained} are not the module's {winners}")
    purchases = {
        entry["project"]: Purchase(
            round=entry["round"],
            price_per_utility=entry["price"],
            payers=entry["payers"],
            payers_who_paid_all_they_had=entry["paid_all_held"],
            paid=entry["paid"],
        )
        for entry in facts["winners"]
    }
    in_the_running = {entry["project"]: entry for entry in facts["others"]}
    not_bought = []
    for project in dict.fromkeys(election.projects):
        if project in purchases:
            continue
        if project in in_the_running:
            entry = in_the_running[project]
            not_bought.append(NotBought(project, entry["reason"], entry["held_at_end"]))
        else:
            reason = "no cost" if not election.cost[project] > 0 else "no supporters"
            not_bought.append(NotBought(project, reason, 0.0))
    return Explanation(share=facts["share"], stop=facts["stop"], purchases=purchases,
                       not_bought=not_bought)
