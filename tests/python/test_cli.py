"""The quorin command: tables, JSON, folders, errors and exit codes."""

import json
import os
import pty
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

REPOSITORY = Path(__file__).resolve().parents[2]
QUORIN = Path(sys.executable).parent / "quorin"

# Four voters share 110. A costs 60 and everyone wants it; B (40) is wanted by
# v1 and v2 only, who have 12.50 each left after A, and C (50) by v3 alone.
# Alone the fixed budget buys A; the first whole share that also buys B is
# 35, where A and B cost 100 and nothing else fits: add-one buys A then B.
SMALL_PROJECTS = [
    ("A", "60", '"Ash Lane ""bus"" shelter, north"', "1"),
    ("B", "40", "Bridge lights", "0"),
    ("C", "50", "Corner garden", "1"),
]
SMALL_VOTES = ["v1;A,B", "v2;A,B", "v3;A,C", "v4;A"]


def small_election(with_selected: bool = True) -> str:
    header = "project_id;cost;name;selected" if with_selected else "project_id;cost;name"
    projects = [";".join(row if with_selected else row[:3]) for row in SMALL_PROJECTS]
    meta = ["description;Small test election", "budget;110", "vote_type;approval", "currency;EUR"]
    lines = ["META", "key;value", *meta, "PROJECTS", header, *projects]
    return "\n".join([*lines, "VOTES", "voter_id;vote", *SMALL_VOTES]) + "\n"


def run(
    *arguments,
    stdout=subprocess.PIPE,
    stderr=subprocess.PIPE,
    program=(str(QUORIN),),
    columns=200,
):
    environment = {**os.environ, "COLUMNS": str(columns), "NO_COLOR": "1"}
    environment.pop("FORCE_COLOR", None)
    return subprocess.run(
        [*program, *map(str, arguments)],
        stdout=stdout,
        stderr=stderr,
        text=True,
        env=environment,
        stdin=subprocess.DEVNULL,
    )


@pytest.fixture
def small(tmp_path):
    path = tmp_path / "small.pb"
    path.write_text(small_election(), encoding="utf-8")
    return path


def table_rows(output: str) -> list[list[str]]:
    """The cells of every body row of the tables in `output`."""
    return [
        [cell.strip() for cell in line.strip("│").split("│")]
        for line in output.splitlines()
        if line.startswith("│")
    ]


def summary(output: str) -> dict[str, str]:
    labels = ("Budget", "Spent", "Left", "Winners")
    return {
        line.split()[0]: " ".join(line.split()[1:])
        for line in output.splitlines()
        if line.split()[:1] and line.split()[0] in labels
    }


@pytest.mark.parametrize(
    "rule, rows, expected_summary",
    [
        pytest.param(
            [],
            [
                ["1", "A", 'Ash Lane "bus" shelter, north', "60", "4", "60"],
                ["2", "B", "Bridge lights", "40", "2", "100"],
            ],
            {"Budget": "110 EUR", "Spent": "100 EUR", "Left": "10 EUR", "Winners": "2"},
            id="add-one-by-default",
        ),
        pytest.param(
            ["--rule", "fixed"],
            [["1", "A", 'Ash Lane "bus" shelter, north', "60", "4", "60"]],
            {"Budget": "110 EUR", "Spent": "60 EUR", "Left": "50 EUR", "Winners": "1"},
            id="fixed",
        ),
    ],
)
def test_table_lists_winners_in_the_order_bought(small, rule, rows, expected_summary):
    result = run(small, *rule)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    assert table_rows(result.stdout) == rows
    assert summary(result.stdout) == expected_summary
    assert "Small test election" in result.stdout


def test_compare_shows_winners_that_differ_from_the_selected_column(small):
    result = run(small, "--compare")
    assert result.returncode == 0, result.stderr
    assert table_rows(result.stdout)[2:] == [
        ["B", "Bridge lights", "won, not selected", "40"],
        ["C", "Corner garden", "selected, not won", "50"],
    ]


def test_compare_says_so_when_the_file_has_no_selected_column(small):
    small.write_text(small_election(with_selected=False), encoding="utf-8")
    result = run(small, "--compare")
    assert result.returncode == 0, result.stderr
    assert "no selected column" in result.stdout


@pytest.mark.parametrize(
    "rule, winners, spent, differences",
    [
        ("add-one", ["A", "B"], 100.0, {"won_not_selected": ["B"], "selected_not_won": ["C"]}),
        ("fixed", ["A"], 60.0, {"won_not_selected": [], "selected_not_won": ["C"]}),
    ],
)
def test_json_reads_back_as_the_outcome(small, rule, winners, spent, differences):
    result = run(small, "--json", "--compare", "--rule", rule)
    assert result.returncode == 0, result.stderr
    [outcome] = json.loads(result.stdout)
    assert outcome["file"] == str(small)
    assert outcome["rule"] == rule
    assert (outcome["voters"], outcome["projects"], outcome["vote_type"]) == (4, 3, "approval")
    assert [winner["id"] for winner in outcome["winners"]] == winners
    assert outcome["winners"][0] == {
        "position": 1,
        "id": "A",
        "name": 'Ash Lane "bus" shelter, north',
        "cost": 60.0,
        "supporters": 4,
        "running_total": 60.0,
    }
    assert (outcome["budget"], outcome["spent"], outcome["left"]) == (110.0, spent, 110.0 - spent)
    assert outcome["differences"] == differences


def test_a_folder_means_its_pb_files_in_name_order(tmp_path):
    for name in ("b.pb", "a.pb"):
        (tmp_path / name).write_text(small_election(), encoding="utf-8")
    (tmp_path / "notes.txt").write_text("not an election")
    result = run(tmp_path, "--json")
    assert result.returncode == 0, result.stderr
    # No progress bar when stderr is not a terminal.
    assert result.stderr == ""
    assert [outcome["file"] for outcome in json.loads(result.stdout)] == [
        str(tmp_path / "a.pb"),
        str(tmp_path / "b.pb"),
    ]


def read_to_end(terminal):
    """What a pseudo-terminal's main side still has to give."""
    shown = b""
    while True:
        try:
            chunk = os.read(terminal, 4096)
        except OSError:  # the terminal's other side is closed: all read
            break
        if not chunk:
            break
        shown += chunk
    return shown


@pytest.mark.parametrize("jobs", ["1", "2"])
def test_several_files_show_progress_on_a_terminal_stderr(small, tmp_path, jobs):
    main, terminal = pty.openpty()
    try:
        result = run(small, small, "--json", "--jobs", jobs, stderr=terminal)
    finally:
        os.close(terminal)
    progress = read_to_end(main)
    os.close(main)
    assert result.returncode == 0
    assert len(json.loads(result.stdout)) == 2
    assert "small.pb" in progress.decode() and "2/2" in progress.decode()


@pytest.mark.parametrize(
    "make_arguments, expected_status, expected_error",
    [
        pytest.param(
            lambda tmp_path, small: [tmp_path / "missing.pb"],
            1,
            "cannot read {tmp_path}/missing.pb: No such file or directory",
            id="missing-file",
        ),
        pytest.param(
            lambda tmp_path, small: [small.with_name("broken.pb")],
            1,
            "{tmp_path}/broken.pb, line 10: PROJECTS row has 2 fields, its header names 4",
            id="malformed-file",
        ),
        pytest.param(
            lambda tmp_path, small: [tmp_path / "empty"],
            1,
            "{tmp_path}/empty: no .pb files in this folder",
            id="folder-without-elections",
        ),
        pytest.param(
            lambda tmp_path, small: [small, "--rule", "greedy"],
            2,
            "invalid choice: 'greedy'",
            id="unknown-rule",
        ),
        pytest.param(lambda tmp_path, small: [], 2, "the following arguments are required", id="no-file"),
        pytest.param(
            lambda tmp_path, small: [small, "--jobs", "0"], 2, "'0' is not at least 1", id="no-jobs"
        ),
        pytest.param(
            lambda tmp_path, small: [small, "--jobs", "two"],
            2,
            "'two' is not a whole number",
            id="jobs-not-a-number",
        ),
    ],
)
def test_user_mistakes_exit_nonzero_without_a_traceback(
    tmp_path, small, make_arguments, expected_status, expected_error
):
    broken = small_election().replace("B;40;Bridge lights;0", "B;40")
    small.with_name("broken.pb").write_text(broken, encoding="utf-8")
    (tmp_path / "empty").mkdir()
    result = run(*make_arguments(tmp_path, small))
    assert result.returncode == expected_status
    assert expected_error.format(tmp_path=tmp_path) in result.stderr
    assert "Traceback" not in result.stderr
    assert result.stdout == ""


def test_a_bad_file_among_good_ones_fails_the_run_but_not_the_others(small, tmp_path):
    result = run(tmp_path / "missing.pb", small, "--json")
    assert result.returncode == 1
    assert "missing.pb" in result.stderr
    assert [outcome["file"] for outcome in json.loads(result.stdout)] == [str(small)]


def flawed_election() -> str:
    """The small election with a name that goes on after its closing quote
    and two votes that list a project twice."""
    text = small_election().replace("Bridge lights", '"Bridge" lights')
    return text.replace("v2;A,B", "v2;A,B,A").replace("v4;A", "v4;A,A")


@pytest.mark.parametrize("output", [["--json"], []], ids=["json", "tables"])
def test_warnings_go_to_stderr_one_line_each_and_never_into_the_output(tmp_path, output):
    # A long path in a narrow terminal: each warning must still be one line.
    folder = tmp_path / ("a-rather-long-folder-name-" * 4)
    folder.mkdir()
    path = folder / "flawed.pb"
    path.write_text(flawed_election(), encoding="utf-8")
    result = run(path, *output, columns=40)
    assert result.returncode == 0, result.stderr
    assert result.stderr.splitlines() == [
        f"quorin: warning: {path}, line 10: a quoted field goes on after its closing quote; "
        "read as common CSV readers do: the quotes enclose its first part, the rest follows",
        f"quorin: warning: {path}, line 15: 2 votes list a project more than once, "
        "the first here; the project counts once",
    ]
    assert "quorin: warning" not in result.stdout and "goes on after" not in result.stdout
    if output:
        [outcome] = json.loads(result.stdout)
        assert [winner["id"] for winner in outcome["winners"]] == ["A", "B"]
        assert outcome["winners"][1]["name"] == "Bridge lights"
        assert outcome["winners"][0]["supporters"] == 4


def slow_election() -> str:
    """An election big enough to be read after smaller ones that follow it."""
    votes = [f"w{number};A,B" for number in range(40_000)]
    return small_election().replace("v1;A,B\n", "\n".join(votes) + "\n")


def election_folder(tmp_path: Path) -> tuple[Path, list[str]]:
    """A folder of elections with differing outcomes, one of them unreadable
    and one with warnings; and the names of the readable ones in order."""
    folder = tmp_path / "elections"
    folder.mkdir()
    (folder / "a-slow.pb").write_text(slow_election(), encoding="utf-8")
    for budget in (60, 100, 110, 150):
        text = small_election().replace("budget;110", f"budget;{budget}")
        (folder / f"b-budget-{budget:03}.pb").write_text(text, encoding="utf-8")
    (folder / "c-broken.pb").write_text(
        small_election().replace("B;40;Bridge lights;0", "B;40"), encoding="utf-8"
    )
    (folder / "d-flawed.pb").write_text(flawed_election(), encoding="utf-8")
    (folder / "e-last.pb").write_text(small_election(), encoding="utf-8")
    readable = ["a-slow.pb", *(f"b-budget-{b:03}.pb" for b in (60, 100, 110, 150)), "d-flawed.pb", "e-last.pb"]
    return folder, readable


@pytest.mark.parametrize("output", [["--json", "--compare"], ["--compare"]], ids=["json", "tables"])
def test_jobs_share_a_folder_and_keep_its_order_and_output(tmp_path, output):
    folder, readable = election_folder(tmp_path)
    alone = run(folder, *output, "--jobs", "1")
    shared = run(folder, *output, "--jobs", "2")
    assert alone.returncode == shared.returncode == 1
    assert shared.stdout == alone.stdout
    assert shared.stderr == alone.stderr
    if "--json" in output:
        outcomes = json.loads(shared.stdout)
        assert [Path(outcome["file"]).name for outcome in outcomes] == readable
        assert [outcome["budget"] for outcome in outcomes] == [110, 60, 100, 110, 150, 110, 110]
    else:
        printed = [line for line in shared.stdout.splitlines() if line.startswith(str(folder))]
        assert [Path(line).name for line in printed] == readable


@pytest.mark.parametrize("jobs", ["1", "2"])
def test_an_unreadable_file_in_a_folder_is_one_line_and_the_rest_go_on(tmp_path, jobs):
    folder, readable = election_folder(tmp_path)
    (folder / "c-latin1.pb").write_bytes(small_election().replace("garden", "gärten").encode("latin-1"))
    result = run(folder, "--json", "--jobs", jobs, columns=40)
    assert result.returncode == 1
    errors = [line for line in result.stderr.splitlines() if "warning" not in line]
    assert errors == [
        f"quorin: error: {folder}/c-broken.pb, line 10: PROJECTS row has 2 fields, its header names 4",
        f"quorin: error: {folder}/c-latin1.pb, line 11: not UTF-8 text",
    ]
    assert [Path(outcome["file"]).name for outcome in json.loads(result.stdout)] == readable


def live_members(group: int) -> list[str]:
    """The processes of a process group that have not ended."""
    # ps is no Python program: the sanitizer run's preloaded runtime would
    # only make it hang.
    environment = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
    listing = subprocess.run(
        ["ps", "-o", "stat=,pid=,args=", "-g", str(group)], capture_output=True, text=True,
        env=environment,
    ).stdout
    return [line for line in listing.splitlines() if not line.lstrip().startswith("Z")]


def test_ctrl_c_ends_the_workers_quietly(tmp_path):
    folder = tmp_path / "elections"
    folder.mkdir()
    for number in range(24):
        (folder / f"{number:02}.pb").write_text(slow_election(), encoding="utf-8")
    main, terminal = pty.openpty()
    environment = {**os.environ, "COLUMNS": "200", "NO_COLOR": "1"}
    process = subprocess.Popen(
        [str(QUORIN), folder, "--json", "--jobs", "2"],
        stdout=subprocess.PIPE,
        stderr=terminal,
        stdin=subprocess.DEVNULL,
        env=environment,
        start_new_session=True,
    )
    os.close(terminal)
    # Once a file is done the workers are running and ready for Ctrl-C;
    # most files are still to come.
    shown = b""
    while b"1/24" not in shown and b"2/24" not in shown:
        chunk = os.read(main, 4096)
        assert chunk, shown
        shown += chunk
    os.killpg(process.pid, signal.SIGINT)
    stdout, _ = process.communicate()
    shown += read_to_end(main)
    os.close(main)
    assert process.returncode == 130
    assert stdout == b""
    assert b"Traceback" not in shown and b"KeyboardInterrupt" not in shown
    # The workers end with the command, not after the files they had.
    deadline = time.monotonic() + 30
    while live_members(process.pid) and time.monotonic() < deadline:
        time.sleep(0.1)
    assert live_members(process.pid) == []


def test_python_dash_m_quorin_runs_the_same_command_on_the_example():
    example = REPOSITORY / "examples" / "riverside.pb"
    by_script = run(example, "--compare")
    by_module = run(example, "--compare", program=(sys.executable, "-m", "quorin"))
    assert by_script.returncode == by_module.returncode == 0
    assert by_module.stdout == by_script.stdout
    assert "Differences from the file's selected projects" in by_script.stdout
