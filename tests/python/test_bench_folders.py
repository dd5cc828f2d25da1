"""bench/run over a folder: every election in it, an unreadable one in a
single line, the others still measured."""

import subprocess
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[2]


def test_bench_over_a_folder_reports_an_unreadable_file_in_one_line_and_goes_on(tmp_path):
    folder = tmp_path / "elections"
    folder.mkdir()
    example = (REPOSITORY / "examples" / "riverside.pb").read_text(encoding="utf-8")
    (folder / "a-first.pb").write_text(example, encoding="utf-8")
    (folder / "b-broken.pb").write_text("META\nkey;value\nbudget;1\n", encoding="utf-8")
    # A vote listing a project twice is read, with a warning.
    flawed = example.replace("\n1;RS-01,RS-04,RS-06\n", "\n1;RS-01,RS-04,RS-01,RS-06\n")
    assert flawed != example
    (folder / "c-flawed.pb").write_text(flawed, encoding="utf-8")
    (folder / "notes.txt").write_text("not an election", encoding="utf-8")
    results = tmp_path / "results.json"
    result = subprocess.run(
        [str(REPOSITORY / "bench" / "run"), "--repeats", "1", "--json", str(results), str(folder)],
        capture_output=True,
        text=True,
        stdin=subprocess.DEVNULL,
    )
    lines = result.stdout.splitlines()
    assert [line.split()[0] for line in lines[1:4]] == ["a-first", "b-broken", "c-flawed"]
    assert lines[2].split(None, 1)[1] == (
        f"not read: {folder}/b-broken.pb, line 3: section PROJECTS is missing"
    )
    # Both readable ones are measured, with the same 30 voters, 8 projects
    # and 79 pairs: the repeated project counts once.
    assert lines[1].split()[1:4] == lines[3].split()[1:4] == ["30", "8", "79"]
    assert f"warning: {folder}/c-flawed.pb, line 27: the vote lists a project more than once" in result.stderr
    assert result.returncode == 1
    assert "1 of 3 elections could not be read" in result.stderr
    assert results.is_file()
