"""Reading participatory-budgeting elections published as .pb files.

A .pb file holds three sections, META, PROJECTS and VOTES, in that order.
Each opens with its name alone on a line, then a header line naming its
columns, then rows of ';'-separated fields. Fields are read as CSV because
project names contain quotes, commas and even semicolons inside quotes.

Published files have flaws that still leave the election well defined: a
vote listing a project twice, a quoted field that goes on after its closing
quote. Those are read as documented below and reported as warnings on the
election; only a file whose election cannot be known raises PabulibError.
"""

from __future__ import annotations

import csv
import io
import re
from collections.abc import Iterator
from dataclasses import dataclass, field
from pathlib import Path
from typing import TYPE_CHECKING, TypeAlias

if TYPE_CHECKING:
    from quorinbindings import _Arguments

    # The six arguments of quorinbindings' functions, as its stub types them.
    Arguments: TypeAlias = _Arguments

SECTIONS = ("META", "PROJECTS", "VOTES")
REQUIRED_COLUMNS = {
    "META": ("key", "value"),
    "PROJECTS": ("project_id", "cost"),
    "VOTES": ("voter_id", "vote"),
}
APPROVAL_TYPES = ("approval", "choose-1")
POINTS_TYPES = ("cumulative", "scoring")
VOTE_TYPES = (*APPROVAL_TYPES, *POINTS_TYPES, "ordinal")
DELIMITER = ";"
# What the csv module says, in strict mode, of a quoted field that goes on
# after its closing quote; only that flaw is read leniently.
QUOTE_THEN_TEXT = f"'{DELIMITER}' expected after '\"'"
# How a vote that lists a project more than once is read, by ballot kind.
REPEAT_READINGS = {
    "approval": "the project counts once",
    "choose-1": "the project counts once",
    "ordinal": "the project keeps its first place",
    "cumulative": "the project's points are summed",
    "scoring": "the project's first score is kept",
}

# Budgets and costs are plain non-negative decimals ("1000000", "4000.0");
# anything float() would also take ("1e6", "nan", "1_000") is a mistake here.
AMOUNT = re.compile(r"\d+(?:\.\d+)?")
WHOLE_NUMBER = re.compile(r"\d+")


class PabulibError(ValueError):
    """A .pb file that cannot be read as an election."""

    def __init__(self, path: Path, line: int, problem: str) -> None:
        super().__init__(f"{path}, line {line}: {problem}")
        self.path = path
        self.line = line
        self.problem = problem

    def __reduce__(self) -> tuple[type[PabulibError], tuple[Path, int, str]]:
        # Worker processes hand errors back pickled; the default would call
        # __init__ with the message alone.
        return (PabulibError, (self.path, self.line, self.problem))


class _Malformed(Exception):
    """What the reader's helpers raise: the line and the problem, to which
    read_election adds the file."""

    def __init__(self, line: int, problem: str) -> None:
        super().__init__(line, problem)
        self.line = line
        self.problem = problem


@dataclass(frozen=True)
class PabulibWarning:
    """A flaw of a .pb file that still leaves its election well defined; one
    per kind of flaw and file, at the first line that shows it."""

    path: Path
    line: int
    problem: str

    def __str__(self) -> str:
        return f"{self.path}, line {self.line}: {self.problem}"


@dataclass(frozen=True)
class Election:
    """One election: the six arguments of quorinbindings' functions, plus
    what a reader of the outcome wants to see."""

    voters: list[str]
    projects: list[str]
    cost: dict[str, float]
    approvers_utilities: dict[str, list[tuple[str, int]]]
    total_utility: dict[str, int]
    total_budget: float
    # Empty strings when the file has no name column.
    names: dict[str, str]
    meta: dict[str, str]
    # Projects whose `selected` value is not 0, in file order; None when the
    # file has no such column. Gdynia marks extra-funded projects with 2.
    selected: tuple[str, ...] | None
    # How the file departs from the format while its election stays known.
    warnings: tuple[PabulibWarning, ...] = ()

    @property
    def vote_type(self) -> str:
        return self.meta["vote_type"]

    def arguments(self) -> Arguments:
        """The arguments of equal_shares_utils and equal_shares_add1, in order."""
        return (
            self.voters,
            self.projects,
            self.cost,
            self.approvers_utilities,
            self.total_utility,
            self.total_budget,
        )


class _Flaws:
    """Counts each kind of flaw of one file, keeping the line of its first."""

    def __init__(self) -> None:
        # kind -> [count, first line]
        self.seen: dict[str, list[int]] = {}

    def note(self, kind: str, line: int) -> None:
        entry = self.seen.get(kind)
        if entry is None:
            self.seen[kind] = [1, line]
        else:
            entry[0] += 1

    def warnings(self, path: Path, vote_type: str) -> tuple[PabulibWarning, ...]:
        return tuple(
            PabulibWarning(path, line, _flaw_text(kind, count, vote_type))
            for kind, (count, line) in self.seen.items()
        )


def _flaw_text(kind: str, count: int, vote_type: str) -> str:
    if kind == "quote":
        what = (
            "a quoted field goes on after its closing quote"
            if count == 1
            else f"{count} rows have a quoted field that goes on after its closing quote, "
            "the first here"
        )
        return (
            f"{what}; read as common CSV readers do: "
            "the quotes enclose its first part, the rest follows"
        )
    what = (
        "the vote lists a project more than once"
        if count == 1
        else f"{count} votes list a project more than once, the first here"
    )
    return f"{what}; {REPEAT_READINGS[vote_type]}"


@dataclass
class _Section:
    name: str
    # Empty until the header line is read.
    header: list[str] = field(default_factory=list)
    header_line: int = 0
    # (line number, field by column name)
    rows: list[tuple[int, dict[str, str]]] = field(default_factory=list)


def read_election(path: str | Path) -> Election:
    """Reads a .pb file. Raises PabulibError, naming the file and line, when
    it is malformed, and OSError when it cannot be read."""
    path = Path(path)
    data = path.read_bytes()
    flaws = _Flaws()
    try:
        text = _decoded(data)
        sections = _split_sections(text, flaws)
        meta, budget, vote_type = _read_meta(sections["META"])
        projects, cost, names, selected = _read_projects(sections["PROJECTS"])
        voters, approvers_utilities = _read_votes(sections["VOTES"], vote_type, cost, flaws)
    except _Malformed as malformed:
        raise PabulibError(path, malformed.line, malformed.problem) from None
    return Election(
        voters=voters,
        projects=projects,
        cost=cost,
        approvers_utilities=approvers_utilities,
        total_utility={p: sum(u for _, u in pairs) for p, pairs in approvers_utilities.items()},
        total_budget=budget,
        names=names,
        meta=meta,
        selected=selected,
        warnings=flaws.warnings(path, vote_type),
    )


def _decoded(data: bytes) -> str:
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        raise _Malformed(data.count(b"\n", 0, error.start) + 1, "not UTF-8 text")


def _numbered_rows(text: str, flaws: _Flaws) -> Iterator[tuple[int, list[str]]]:
    """Rows with the line each starts on (a quoted field may span lines)."""
    stream = io.StringIO(text, newline="")
    reader = csv.reader(stream, delimiter=DELIMITER, strict=True)
    start = 1
    # Lines taken from the stream past the strict reader, which does not
    # count them in its line_num.
    skipped = 0
    lines: list[str] | None = None
    while True:
        try:
            for row in reader:
                # Blank lines carry nothing; files often end with one.
                if row:
                    yield start, row
                start = reader.line_num + skipped + 1
            return
        except csv.Error as error:
            if str(error) != QUOTE_THEN_TEXT:
                raise _Malformed(start, f"unreadable row: {error}")
        # Read the failed row again from its first line as a lenient reader
        # does, then let the strict reader go on after it. Irregular rows
        # are rare, so only they pay for splitting the text into lines.
        if lines is None:
            lines = io.StringIO(text, newline="").readlines()
        rest = (lines[index] for index in range(start - 1, len(lines)))
        lenient = csv.reader(rest, delimiter=DELIMITER, strict=False)
        try:
            row = next(lenient)
        except csv.Error as error:
            raise _Malformed(start, f"unreadable row: {error}")
        # The lenient reader agrees with the strict one up to the flaw, so it
        # reads at least the lines the strict one did.
        for _ in range(lenient.line_num - (reader.line_num + skipped - start + 1)):
            stream.readline()
            skipped += 1
        flaws.note("quote", start)
        yield start, row
        start += lenient.line_num


def _split_sections(text: str, flaws: _Flaws) -> dict[str, _Section]:
    sections: dict[str, _Section] = {}
    current: _Section | None = None
    last_line = 1  # an empty file is missing its sections at line 1
    for line, row in _numbered_rows(text, flaws):
        last_line = line
        # A one-field row naming a section can only be a section line: every
        # section's header has at least two columns.
        if len(row) == 1 and row[0].strip() in SECTIONS:
            name = row[0].strip()
            if name in sections:
                raise _Malformed(line, f"section {name} appears a second time")
            expected = SECTIONS[len(sections)]
            if name != expected:
                raise _Malformed(line, f"section {name} comes where {expected} should")
            current = sections[name] = _Section(name)
            continue
        if current is None:
            raise _Malformed(line, "expected the line META before anything else")
        if not current.header:
            _check_header(line, current.name, row)
            current.header, current.header_line = row, line
            continue
        if len(row) != len(current.header):
            raise _Malformed(
                line,
                f"{current.name} row has {len(row)} fields, "
                f"its header names {len(current.header)}",
            )
        current.rows.append((line, dict(zip(current.header, row))))
    for name in SECTIONS:
        if name not in sections:
            raise _Malformed(last_line, f"section {name} is missing")
        if not sections[name].header:
            raise _Malformed(last_line, f"section {name} has no header line")
    return sections


def _check_header(line: int, section: str, header: list[str]) -> None:
    seen: set[str] = set()
    for column in header:
        if column in seen:
            raise _Malformed(line, f"{section} header names column {column!r} twice")
        seen.add(column)
    for column in REQUIRED_COLUMNS[section]:
        if column not in seen:
            raise _Malformed(line, f"{section} header lacks the column {column!r}")


def _amount(line: int, what: str, text: str) -> float:
    if not AMOUNT.fullmatch(text):
        raise _Malformed(line, f"{what} {text!r} is not a non-negative decimal number")
    return float(text)


def _read_meta(section: _Section) -> tuple[dict[str, str], float, str]:
    meta: dict[str, str] = {}
    key_lines: dict[str, int] = {}
    for line, row in section.rows:
        key = row["key"]
        if key in meta:
            raise _Malformed(line, f"META key {key!r} appears a second time")
        meta[key] = row["value"]
        key_lines[key] = line
    for key in ("budget", "vote_type"):
        if key not in meta:
            raise _Malformed(section.header_line, f"META has no {key!r}")
    budget = _amount(key_lines["budget"], "budget", meta["budget"])
    vote_type = meta["vote_type"]
    if vote_type not in VOTE_TYPES:
        raise _Malformed(
            key_lines["vote_type"],
            f"vote_type {vote_type!r} is not one of {', '.join(VOTE_TYPES)}",
        )
    return meta, budget, vote_type


def _read_projects(
    section: _Section,
) -> tuple[list[str], dict[str, float], dict[str, str], tuple[str, ...] | None]:
    has_selected = "selected" in section.header
    projects: list[str] = []
    cost: dict[str, float] = {}
    names: dict[str, str] = {}
    selected: list[str] = []
    for line, row in section.rows:
        project = row["project_id"]
        if not project:
            raise _Malformed(line, "empty project_id")
        if project in cost:
            raise _Malformed(line, f"project {project!r} is listed a second time")
        projects.append(project)
        cost[project] = _amount(line, f"cost of project {project!r}", row["cost"])
        names[project] = row.get("name", "")
        if has_selected:
            mark = row["selected"]
            if not WHOLE_NUMBER.fullmatch(mark):
                raise _Malformed(
                    line, f"selected {mark!r} of project {project!r} is not a whole number"
                )
            if int(mark) != 0:
                selected.append(project)
    return projects, cost, names, tuple(selected) if has_selected else None


def _utilities(line: int, row: dict[str, str], vote_type: str, listed: list[str]) -> list[int]:
    if vote_type in APPROVAL_TYPES:
        return [1] * len(listed)
    if vote_type == "ordinal":
        # Borda-style: the first of k listed projects gets k, the last 1.
        return list(range(len(listed), 0, -1))
    points = row["points"].split(",") if row["points"] else []
    if len(points) != len(listed):
        raise _Malformed(line, f"{len(listed)} projects listed but {len(points)} points given")
    for value in points:
        if not WHOLE_NUMBER.fullmatch(value):
            raise _Malformed(line, f"points {value!r} is not a whole number")
    return [int(value) for value in points]


def _read_votes(
    section: _Section, vote_type: str, cost: dict[str, float], flaws: _Flaws
) -> tuple[list[str], dict[str, list[tuple[str, int]]]]:
    if vote_type in POINTS_TYPES and "points" not in section.header:
        raise _Malformed(
            section.header_line, f"{vote_type} ballots need a 'points' column in VOTES"
        )
    voters: list[str] = []
    seen_voters: set[str] = set()
    approvers_utilities: dict[str, list[tuple[str, int]]] = {p: [] for p in cost}
    for line, row in section.rows:
        voter = row["voter_id"]
        if not voter:
            raise _Malformed(line, "empty voter_id")
        if voter in seen_voters:
            raise _Malformed(line, f"voter {voter!r} votes a second time")
        seen_voters.add(voter)
        voters.append(voter)
        # An empty vote is a blank ballot: the voter still gets a share.
        listed = row["vote"].split(",") if row["vote"] else []
        for project in listed:
            if project not in cost:
                raise _Malformed(line, f"vote for unknown project {project!r}")
        if len(set(listed)) != len(listed):
            flaws.note("repeat", line)
            listed, utilities = _without_repeats(line, row, vote_type, listed)
        else:
            utilities = _utilities(line, row, vote_type, listed)
        for project, utility in zip(listed, utilities):
            # Zero points say nothing in favour of the project.
            if utility > 0:
                approvers_utilities[project].append((voter, utility))
    return voters, approvers_utilities


def _without_repeats(
    line: int, row: dict[str, str], vote_type: str, listed: list[str]
) -> tuple[list[str], list[int]]:
    """A vote that lists a project more than once, read as REPEAT_READINGS says."""
    if vote_type not in POINTS_TYPES:
        # An approval counts once; a ranking places the project where it
        # first appears, and the places after it close up.
        once = list(dict.fromkeys(listed))
        return once, _utilities(line, row, vote_type, once)
    # Points are checked against every listing, as the file gives them.
    merged: dict[str, int] = {}
    for project, points in zip(listed, _utilities(line, row, vote_type, listed)):
        if vote_type == "cumulative":
            # Cumulative points are a total spread over projects: summing
            # keeps all the voter gave, and never more than the ballot allows.
            merged[project] = merged.get(project, 0) + points
        else:
            # A score rates the project; a second one cannot add to it, and
            # summing could rate it above the scale.
            merged.setdefault(project, points)
    return list(merged), list(merged.values())
