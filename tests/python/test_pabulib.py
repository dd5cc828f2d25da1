"""The .pb reader: ballot kinds, file details, flawed but readable files,
malformed files, real files."""

import csv
import pickle
from pathlib import Path

import pytest

from quorin.pabulib import PabulibError, PabulibWarning, read_election

REAL_ELECTIONS = Path(__file__).resolve().parents[2].parent / "shared" / "data" / "pabulib"

PROJECTS = ["a;10;Alpha", "b;20;Beta", "c;30;Gamma"]


def pb_text(
    vote_type: str,
    votes: list[str],
    vote_header: str = "voter_id;vote",
    budget: str = "100",
    project_header: str = "project_id;cost;name",
    projects: list[str] = PROJECTS,
) -> str:
    lines = [
        "META",
        "key;value",
        f"budget;{budget}",
        f"vote_type;{vote_type}",
        "PROJECTS",
        project_header,
        *projects,
        "VOTES",
        vote_header,
        *votes,
    ]
    return "\n".join(lines) + "\n"


def write(tmp_path: Path, text: str, name: str = "election.pb") -> Path:
    path = tmp_path / name
    path.write_text(text, encoding="utf-8")
    return path


@pytest.mark.parametrize(
    "vote_type, vote_header, votes, expected",
    [
        pytest.param(
            "approval",
            "voter_id;vote",
            ["v1;a,b", "v2;b", "v3;"],
            {"a": [("v1", 1)], "b": [("v1", 1), ("v2", 1)], "c": []},
            id="approval",
        ),
        pytest.param(
            "choose-1",
            "voter_id;vote",
            ["v1;c", "v2;a", "v3;c"],
            {"a": [("v2", 1)], "b": [], "c": [("v1", 1), ("v3", 1)]},
            id="choose-1",
        ),
        pytest.param(
            "cumulative",
            "voter_id;vote;points",
            ["v1;a,b;2,1", "v2;b,c;3,0", "v3;c;3"],
            {"a": [("v1", 2)], "b": [("v1", 1), ("v2", 3)], "c": [("v3", 3)]},
            id="cumulative-drops-zero-points",
        ),
        pytest.param(
            "scoring",
            "voter_id;age;points;vote",
            ["v1;30;0,7,1;a,b,c", "v2;41;5;a"],
            {"a": [("v2", 5)], "b": [("v1", 7)], "c": [("v1", 1)]},
            id="scoring-columns-in-any-order",
        ),
        pytest.param(
            "ordinal",
            "voter_id;vote",
            ["v1;c,a,b", "v2;b", "v3;a,c"],
            {"a": [("v1", 2), ("v3", 2)], "b": [("v1", 1), ("v2", 1)], "c": [("v1", 3), ("v3", 1)]},
            id="ordinal-borda",
        ),
    ],
)
def test_ballots_become_utilities_in_voter_order(
    tmp_path, vote_type, vote_header, votes, expected
):
    election = read_election(write(tmp_path, pb_text(vote_type, votes, vote_header)))
    assert election.voters == [vote.split(";")[0] for vote in votes]
    assert election.projects == ["a", "b", "c"]
    assert election.approvers_utilities == expected
    assert election.total_utility == {
        project: sum(utility for _, utility in pairs) for project, pairs in expected.items()
    }
    assert election.vote_type == vote_type


def test_arguments_are_the_six_in_the_module_order(tmp_path):
    election = read_election(write(tmp_path, pb_text("approval", ["v1;a"])))
    assert election.arguments() == (
        ["v1"],
        ["a", "b", "c"],
        {"a": 10.0, "b": 20.0, "c": 30.0},
        {"a": [("v1", 1)], "b": [], "c": []},
        {"a": 1, "b": 0, "c": 0},
        100.0,
    )


def test_decimal_amounts_and_the_selected_column(tmp_path):
    text = pb_text(
        "approval",
        ["v1;b"],
        budget="1000000.50",
        project_header="project_id;cost;selected",
        projects=["a;4000.0;1", "b;2372571.24;0", "c;17150;2"],
    )
    election = read_election(write(tmp_path, text))
    assert election.total_budget == 1000000.5
    assert election.cost == {"a": 4000.0, "b": 2372571.24, "c": 17150.0}
    assert all(type(cost) is float for cost in election.cost.values())
    assert election.selected == ("a", "c")
    assert election.names == {"a": "", "b": "", "c": ""}


def test_without_a_selected_column_nothing_is_selected_or_not(tmp_path):
    election = read_election(write(tmp_path, pb_text("approval", ["v1;a"])))
    assert election.selected is None


def test_quoted_fields_keep_quotes_commas_and_semicolons(tmp_path):
    projects = [
        'a;10;"""Books on Wheels"" library"',
        'b;20;"Benches, bins; and lights"',
        "c;30;O'Brien Square",
    ]
    text = pb_text("approval", ['"v;1";a,b'], projects=projects)
    election = read_election(write(tmp_path, text))
    assert election.names == {
        "a": '"Books on Wheels" library',
        "b": "Benches, bins; and lights",
        "c": "O'Brien Square",
    }
    assert election.voters == ["v;1"]


def test_line_endings_byte_order_mark_and_blank_lines_do_not_matter(tmp_path):
    text = pb_text("cumulative", ["v1;a,b;2,1", "v2;c;3"], "voter_id;vote;points")
    plain = read_election(write(tmp_path, text, "plain.pb"))
    windows = read_election(write(tmp_path, "\ufeff" + text.replace("\n", "\r\n") + "\r\n", "crlf.pb"))
    assert windows == plain
    assert plain.meta == {"budget": "100", "vote_type": "cumulative"}


# A vote that lists a project more than once still says what the voter wants:
# approvals count once, a ranking keeps the first place, cumulative points
# (a total spread over projects) are summed, a score keeps its first value.
@pytest.mark.parametrize(
    "vote_type, vote_header, vote, expected, reading",
    [
        pytest.param(
            "approval",
            "voter_id;vote",
            "v1;b,a,b,b",
            {"a": [("v1", 1)], "b": [("v1", 1)], "c": []},
            "the project counts once",
            id="approval-counts-once",
        ),
        pytest.param(
            "choose-1",
            "voter_id;vote",
            "v1;c,c",
            {"a": [], "b": [], "c": [("v1", 1)]},
            "the project counts once",
            id="choose-1-counts-once",
        ),
        pytest.param(
            "ordinal",
            "voter_id;vote",
            "v1;a,b,a",
            {"a": [("v1", 2)], "b": [("v1", 1)], "c": []},
            "the project keeps its first place",
            id="ordinal-repeat-at-the-end",
        ),
        pytest.param(
            "ordinal",
            "voter_id;vote",
            "v1;c,a,c,b",
            {"a": [("v1", 2)], "b": [("v1", 1)], "c": [("v1", 3)]},
            "the project keeps its first place",
            id="ordinal-later-places-close-up",
        ),
        pytest.param(
            "cumulative",
            "voter_id;vote;points",
            "v1;a,b,a;2,1,3",
            {"a": [("v1", 5)], "b": [("v1", 1)], "c": []},
            "the project's points are summed",
            id="cumulative-sums",
        ),
        pytest.param(
            "cumulative",
            "voter_id;vote;points",
            "v1;a,c,a;0,1,4",
            {"a": [("v1", 4)], "b": [], "c": [("v1", 1)]},
            "the project's points are summed",
            id="cumulative-zero-then-points",
        ),
        pytest.param(
            "scoring",
            "voter_id;vote;points",
            "v1;a,b,a;2,1,3",
            {"a": [("v1", 2)], "b": [("v1", 1)], "c": []},
            "the project's first score is kept",
            id="scoring-keeps-first",
        ),
        pytest.param(
            "scoring",
            "voter_id;vote;points",
            "v1;b,b;0,5",
            {"a": [], "b": [], "c": []},
            "the project's first score is kept",
            id="scoring-first-zero-says-nothing",
        ),
    ],
)
def test_a_vote_listing_a_project_twice_is_read_by_its_ballot_kind_with_a_warning(
    tmp_path, vote_type, vote_header, vote, expected, reading
):
    blank = "v0" + ";" * vote_header.count(";")
    path = write(tmp_path, pb_text(vote_type, [blank, vote], vote_header))
    election = read_election(path)
    assert election.voters == ["v0", "v1"]
    assert election.approvers_utilities == expected
    assert election.total_utility == {
        project: sum(utility for _, utility in pairs) for project, pairs in expected.items()
    }
    assert election.warnings == (
        PabulibWarning(path, 13, f"the vote lists a project more than once; {reading}"),
    )


def test_repeated_projects_warn_once_per_file_with_the_count_and_first_line(tmp_path):
    votes = ["v1;a", "v2;a,a", "v3;b,c", "v4;c,b,c", "v5;a,b,a,b"]
    path = write(tmp_path, pb_text("approval", votes))
    [warning] = read_election(path).warnings
    assert (warning.path, warning.line) == (path, 13)
    assert warning.problem.startswith("3 votes list a project more than once, the first here")
    assert str(warning) == f"{path}, line 13: {warning.problem}"


def test_points_of_a_repeated_project_must_still_match_its_listings(tmp_path):
    path = write(tmp_path, pb_text("cumulative", ["v1;a,a;3"], "voter_id;vote;points"))
    with pytest.raises(PabulibError, match="line 12: 2 projects listed but 1 points given"):
        read_election(path)


def test_a_repeated_unknown_project_is_still_an_error(tmp_path):
    path = write(tmp_path, pb_text("approval", ["v1;z,a,z"]))
    with pytest.raises(PabulibError, match="line 12: vote for unknown project 'z'"):
        read_election(path)


def test_a_quoted_name_that_goes_on_after_its_quote_reads_as_csv_readers_do(tmp_path):
    projects = [
        'a;10;"Odkupmy" i my - zakup i montaż',
        'b;20;"Benches; bins"',
        "c;30;Gamma",
    ]
    path = write(tmp_path, pb_text("approval", ["v1;a,b", "v2;c"], projects=projects))
    election = read_election(path)
    assert election.names == {
        "a": "Odkupmy i my - zakup i montaż",
        "b": "Benches; bins",
        "c": "Gamma",
    }
    assert election.approvers_utilities == {"a": [("v1", 1)], "b": [("v1", 1)], "c": [("v2", 1)]}
    [warning] = election.warnings
    assert (warning.path, warning.line) == (path, 7)
    assert warning.problem.startswith("a quoted field goes on after its closing quote")


def test_rows_after_a_lenient_one_keep_their_lines(tmp_path):
    # The flawed row's last field spans two lines, past where strict reading
    # stopped; the rows after it, and their line numbers, must come out whole.
    projects = [
        'a;10;"Al" pha;"two\nlines"',
        'b;20;"Be" ta;one',
        "c;30;Gamma;x;surplus",
    ]
    text = pb_text(
        "approval", ["v1;a"], project_header="project_id;cost;name;about", projects=projects
    )
    path = write(tmp_path, text)
    with pytest.raises(PabulibError) as caught:
        read_election(path)
    assert caught.value.line == 10
    assert caught.value.problem == "PROJECTS row has 5 fields, its header names 4"

    path.write_text(text.replace(";x;surplus", ";x"), encoding="utf-8")
    election = read_election(path)
    assert election.names == {"a": "Al pha", "b": "Be ta", "c": "Gamma"}
    [warning] = election.warnings
    assert warning.line == 7
    assert warning.problem.startswith("2 rows have a quoted field that goes on after its closing quote")


def test_each_kind_of_flaw_warns_apart_in_the_order_met(tmp_path):
    text = pb_text("ordinal", ["v1;a,a", "v2;b"], projects=['a;10;"A" x', "b;20;B", "c;30;C"])
    warnings = read_election(write(tmp_path, text)).warnings
    assert [(warning.line, warning.problem.split(";")[0]) for warning in warnings] == [
        (7, "a quoted field goes on after its closing quote"),
        (12, "the vote lists a project more than once"),
    ]


def test_a_regular_file_has_no_warnings(tmp_path):
    assert read_election(write(tmp_path, pb_text("approval", ["v1;a,b"]))).warnings == ()


def test_errors_and_warnings_survive_pickling_into_another_process(tmp_path):
    path = write(tmp_path, pb_text("approval", ["v1;a,a"]))
    [warning] = read_election(path).warnings
    assert pickle.loads(pickle.dumps(warning)) == warning
    error = PabulibError(path, 12, "vote for unknown project 'z'")
    copy = pickle.loads(pickle.dumps(error))
    assert (copy.path, copy.line, copy.problem, str(copy)) == (
        error.path,
        error.line,
        error.problem,
        str(error),
    )


MALFORMED = [
    pytest.param(
        "PROJECTS\nproject_id;cost\na;1\nMETA\nkey;value\nbudget;1\nvote_type;approval\nVOTES\nvoter_id;vote\n",
        1,
        "section PROJECTS comes where META should",
        id="projects-before-meta",
    ),
    pytest.param(
        "META\nkey;value\nbudget;1\nvote_type;approval\nVOTES\nvoter_id;vote\nv1;a\n"
        "PROJECTS\nproject_id;cost\na;1\n",
        5,
        "section VOTES comes where PROJECTS should",
        id="votes-before-projects",
    ),
    pytest.param(
        "META\nkey;value\nbudget;1\nvote_type;approval\nPROJECTS\nproject_id;cost\na;1\n",
        7,
        "section VOTES is missing",
        id="votes-missing",
    ),
    pytest.param(
        pb_text("approval", ["v1;a"]).replace("META\n", "META\nkey;value\nbudget;5\nMETA\n", 1),
        4,
        "section META appears a second time",
        id="section-twice",
    ),
    pytest.param(
        "budget;100\n" + pb_text("approval", ["v1;a"]),
        1,
        "expected the line META",
        id="rows-before-meta",
    ),
    pytest.param(
        pb_text("approval", ["v1;a"], projects=["a;10;Alpha", "b;20", "c;30;Gamma"]),
        8,
        "PROJECTS row has 2 fields, its header names 3",
        id="too-few-fields",
    ),
    pytest.param(
        pb_text("approval", ["v1;a", "v2;b;extra"]),
        13,
        "VOTES row has 3 fields, its header names 2",
        id="too-many-fields",
    ),
    pytest.param(
        pb_text("approval", ["v1;a"], projects=["a;10;Alpha", "b;12,5;Beta"]),
        8,
        "cost of project 'b' '12,5' is not a non-negative decimal number",
        id="cost-with-decimal-comma",
    ),
    pytest.param(
        pb_text("approval", ["v1;a"], projects=["a;-10;Alpha"]),
        7,
        "is not a non-negative decimal number",
        id="negative-cost",
    ),
    pytest.param(
        pb_text("approval", ["v1;a"], budget="1e6"),
        3,
        "budget '1e6' is not a non-negative decimal number",
        id="budget-in-exponent-form",
    ),
    pytest.param(
        pb_text("approval", ["v1;a"]).replace("budget;100\n", ""),
        2,
        "META has no 'budget'",
        id="budget-missing",
    ),
    pytest.param(pb_text("plurality", ["v1;a"]), 4, "vote_type 'plurality'", id="unknown-vote-type"),
    pytest.param(pb_text("approval", ["v1;a", "v1;b"]), 13, "voter 'v1' votes a second time", id="voter-twice"),
    pytest.param(
        pb_text("approval", ["v1;a"], projects=["a;10;Alpha", "a;20;Again"]),
        8,
        "project 'a' is listed a second time",
        id="project-twice",
    ),
    pytest.param(pb_text("approval", ["v1;a,z"]), 12, "vote for unknown project 'z'", id="unknown-project"),
    pytest.param(
        pb_text("cumulative", ["v1;a,b;2"], "voter_id;vote;points"),
        12,
        "2 projects listed but 1 points given",
        id="points-count",
    ),
    pytest.param(
        pb_text("scoring", ["v1;a;-1"], "voter_id;vote;points"),
        12,
        "points '-1' is not a whole number",
        id="negative-points",
    ),
    pytest.param(
        pb_text("cumulative", ["v1;a"]),
        11,
        "cumulative ballots need a 'points' column",
        id="points-column-missing",
    ),
    pytest.param(
        pb_text("approval", ["v1;a"], project_header="project_id;price;name"),
        6,
        "PROJECTS header lacks the column 'cost'",
        id="cost-column-missing",
    ),
    pytest.param(
        pb_text("approval", ["v1;a"], project_header="project_id;cost;selected", projects=["a;1;yes"]),
        7,
        "selected 'yes' of project 'a' is not a whole number",
        id="selected-not-a-number",
    ),
    pytest.param(
        pb_text("approval", ["v1;a"], projects=['a;10;"Alpha', "b;20;Beta"]),
        7,
        "unreadable row",
        id="unterminated-quote",
    ),
    pytest.param(
        pb_text("approval", ["v1;a"]).removesuffix("voter_id;vote\nv1;a\n"),
        10,
        "section VOTES has no header line",
        id="votes-header-missing",
    ),
]


@pytest.mark.parametrize("text, line, problem", MALFORMED)
def test_malformed_files_name_the_file_the_line_and_the_problem(tmp_path, text, line, problem):
    path = write(tmp_path, text)
    with pytest.raises(PabulibError) as caught:
        read_election(path)
    assert (caught.value.path, caught.value.line) == (path, line)
    assert problem in caught.value.problem
    assert str(caught.value).startswith(f"{path}, line {line}: ")


def test_text_that_is_not_utf8_is_refused_at_its_line(tmp_path):
    path = tmp_path / "latin1.pb"
    path.write_bytes(pb_text("approval", ["v1;a"], projects=["a;10;Kraków"]).encode("latin-1"))
    with pytest.raises(PabulibError, match=r"line 7: not UTF-8 text"):
        read_election(path)


def project_tallies(path: Path) -> dict[str, dict[str, str]]:
    """The PROJECTS rows as the file itself states them."""
    with path.open(encoding="utf-8", newline="") as file:
        rows = iter(csv.reader(file, delimiter=";"))
        for row in rows:
            if row == ["PROJECTS"]:
                break
        header = next(rows)
        tallies = {}
        for row in rows:
            if row == ["VOTES"]:
                return tallies
            tallies[row[0]] = dict(zip(header, row))
    raise AssertionError(f"{path} has no VOTES section")


@pytest.mark.skipif(not REAL_ELECTIONS.is_dir(), reason="the real elections are not here")
@pytest.mark.parametrize(
    "path",
    sorted(REAL_ELECTIONS.glob("*.pb")) if REAL_ELECTIONS.is_dir() else [],
    ids=lambda path: path.stem,
)
def test_real_elections_match_their_own_counts(path):
    election = read_election(path)
    # These fourteen are regular: a warning here would be a false alarm.
    assert election.warnings == ()
    assert len(election.voters) == int(election.meta["num_votes"])
    assert len(election.projects) == int(election.meta["num_projects"])
    # Where the file publishes each project's number of supporters (`votes`)
    # or its points (`score`), the utilities must reproduce them.
    for project, stated in project_tallies(path).items():
        if "votes" in stated:
            assert len(election.approvers_utilities[project]) == int(stated["votes"]), project
        if "score" in stated:
            assert election.total_utility[project] == int(stated["score"]), project
