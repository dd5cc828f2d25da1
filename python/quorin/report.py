"""An outcome shown to people (rich tables) or to programs (JSON-ready data)."""

from __future__ import annotations

from dataclasses import fields
from pathlib import Path
from typing import Any

from rich.console import Console, Group, JustifyMethod, RenderableType
from rich.table import Table
from rich.text import Text

from quorin.explanation import Explanation
from quorin.outcome import RULES, Outcome

# The JSON names of fields that are named otherwise in the dataclasses.
JSON_NAMES = {"project": "id"}


def amount(value: float) -> str:
    """Money with thousands separators, and cents only when there are some."""
    if value == int(value):
        return f"{value:,.0f}"
    return f"{value:,.2f}"


def _one_line(text: str, style: str = "") -> Text:
    return Text(text, style=style, no_wrap=True, overflow="ellipsis")


def _table(title: str, columns: list[tuple[str, JustifyMethod]]) -> Table:
    """Only the Name column may wrap, so only names give way to a narrow
    terminal; their cells are single-line, so they shorten instead."""
    table = Table(title=title, title_justify="left")
    for header, justify in columns:
        table.add_column(header, justify=justify, no_wrap=header != "Name")
    return table


def print_outcome(console: Console, path: Path, outcome: Outcome, compare: bool) -> None:
    console.print(outcome_view(path, outcome, compare))


def outcome_view(path: Path, outcome: Outcome, compare: bool) -> RenderableType:
    """The outcome as people see it. It is laid out only when printed, to the
    console's width, so it can be made in another process and printed here."""
    election = outcome.election
    currency = election.meta.get("currency", "")
    parts: list[RenderableType] = [_one_line(str(path), style="bold")]
    description = election.meta.get("description", "")
    if description:
        parts.append(_one_line(description, style="dim"))
    parts.append(
        Text(
            f"{election.vote_type} ballots · {len(election.voters):,} voters · "
            f"{len(election.projects):,} projects",
            style="dim",
        )
    )

    explanation = outcome.explanation
    table = _table(
        f"Winners by {RULES[outcome.rule].title}",
        [
            ("#", "right"),
            ("Project", "left"),
            ("Name", "left"),
            (f"Cost {currency}".strip(), "right"),
            ("Supporters", "right"),
            ("Running total", "right"),
        ],
    )
    for winner in outcome.winners:
        table.add_row(
            str(winner.position),
            Text(winner.project),
            _one_line(winner.name),
            amount(winner.cost),
            f"{winner.supporters:,}",
            amount(winner.running_total),
        )
    parts.append(table)
    if explanation is not None:
        parts.append(_purchases_view(outcome, explanation, currency))
        parts.append(_not_bought_view(outcome, explanation, currency))

    summary = Table.grid(padding=(0, 1))
    summary.add_column(min_width=8)
    summary.add_column(justify="right")
    summary.add_column()
    summary.add_row("Budget", amount(election.total_budget), currency)
    summary.add_row("Spent", amount(outcome.spent), currency)
    summary.add_row("Left", amount(outcome.left), currency)
    summary.add_row("Winners", str(len(outcome.winners)))
    if explanation is not None:
        summary.add_row("Share", amount(explanation.share), f"{currency} per voter in the run explained".strip())
        if explanation.stop_text is not None:
            summary.add_row("Stopped", "", f"because {explanation.stop_text}")
    parts.append(summary)

    if compare:
        parts.append(_differences_view(outcome))
    parts.append(Text())
    return Group(*parts)


def _purchases_view(outcome: Outcome, explanation: Explanation, currency: str) -> RenderableType:
    table = _table(
        "How the winners were paid: the price per unit of utility, and the payers, of whom "
        "those who could not pay it gave all they had",
        [("Project", "left"), ("Round", "right"), ("Price", "right"), ("Payers", "right"),
         ("Gave all", "right"), (f"Paid {currency}".strip(), "right")],
    )
    for winner in outcome.winners:
        purchase = explanation.purchases[winner.project]
        table.add_row(
            Text(winner.project),
            str(purchase.round),
            amount(purchase.price_per_utility),
            f"{purchase.payers:,}",
            f"{purchase.payers_who_paid_all_they_had:,}",
            amount(purchase.paid),
        )
    return table


def _not_bought_view(outcome: Outcome, explanation: Explanation, currency: str) -> RenderableType:
    election = outcome.election
    table = _table(
        "Not bought, and what its supporters still hold",
        [("Project", "left"), ("Name", "left"), (f"Cost {currency}".strip(), "right"),
         ("Why", "left"), ("They hold", "right")],
    )
    # The reasons are sentences: they wrap rather than shorten.
    table.columns[3].no_wrap = False
    for project in explanation.not_bought:
        table.add_row(
            Text(project.project),
            _one_line(election.names[project.project]),
            amount(election.cost[project.project]),
            project.reason_text,
            amount(project.supporters_hold),
        )
    return table


def _differences_view(outcome: Outcome) -> RenderableType:
    differences = outcome.differences()
    if differences is None:
        return Text("The file has no selected column to compare with.")
    if not differences.won_not_selected and not differences.selected_not_won:
        return Text("The winners are exactly the file's selected projects.")
    election = outcome.election
    table = _table(
        "Differences from the file's selected projects",
        [("Project", "left"), ("Name", "left"), ("Status", "left"), ("Cost", "right")],
    )
    for status, projects in (
        ("won, not selected", differences.won_not_selected),
        ("selected, not won", differences.selected_not_won),
    ):
        for project in projects:
            table.add_row(
                Text(project),
                _one_line(election.names[project]),
                status,
                amount(election.cost[project]),
            )
    return table


def _data(instance: Any) -> dict[str, Any]:
    """A dataclass's fields by their JSON names, in the order declared."""
    return {JSON_NAMES.get(f.name, f.name): getattr(instance, f.name) for f in fields(instance)}


def outcome_data(path: Path, outcome: Outcome, compare: bool) -> dict[str, Any]:
    election = outcome.election
    data: dict[str, Any] = {
        "file": str(path),
        "description": election.meta.get("description", ""),
        "vote_type": election.vote_type,
        "voters": len(election.voters),
        "projects": len(election.projects),
        "rule": outcome.rule,
        "budget": election.total_budget,
        "spent": outcome.spent,
        "left": outcome.left,
        "winners": [_data(winner) for winner in outcome.winners],
    }
    explanation = outcome.explanation
    if explanation is not None:
        for winner in data["winners"]:
            winner.update(_data(explanation.purchases[winner["id"]]))
        data["share"] = explanation.share
        data["stopped"] = explanation.stop
        # The id, the file's name and cost, then the rest of the project's fields;
        # repeating the id there leaves it first.
        data["not_bought"] = [
            {
                "id": project.project,
                "name": election.names[project.project],
                "cost": election.cost[project.project],
                **_data(project),
            }
            for project in explanation.not_bought
        ]
    if compare:
        differences = outcome.differences()
        data["differences"] = None if differences is None else _data(differences)
    return data
