"""The quorin command: outcomes of .pb elections, as tables or JSON."""

from __future__ import annotations

import argparse
import json
import os
import sys
from collections.abc import Sequence
from pathlib import Path
from typing import Any

from rich.console import Console
from rich.progress import (
    BarColumn,
    MofNCompleteColumn,
    Progress,
    SpinnerColumn,
    TextColumn,
    TimeElapsedColumn,
)

from quorin.outcome import RULES, compute_outcome
from quorin.pabulib import PabulibError, read_election
from quorin.report import outcome_data, print_outcome

FAILED = 1
INTERRUPTED = 130


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="quorin",
        description="Winners of participatory-budgeting elections (.pb files) "
        "by the Method of Equal Shares.",
    )
    parser.add_argument(
        "files", nargs="+", metavar="FILE", help="a .pb file, or a folder: all its .pb files"
    )
    parser.add_argument(
        "--rule",
        choices=tuple(RULES),
        default="add-one",
        help="add-one (default): Equal Shares completed by add-one; fixed: Equal Shares "
        "with the real budget only",
    )
    parser.add_argument(
        "--compare",
        action="store_true",
        help="also show which winners differ from the file's selected projects",
    )
    parser.add_argument(
        "--json", action="store_true", help="print a machine-readable result instead of tables"
    )
    return parser


def _report_error(errors: Console, message: str) -> None:
    # One line however long, so that logs and grep keep it whole.
    errors.print(f"quorin: error: {message}", soft_wrap=True)


def _expand(arguments: list[str], errors: Console) -> tuple[list[Path], bool]:
    """The files named, folders replaced by their .pb files; and whether some
    folder had none."""
    paths: list[Path] = []
    empty_folder = False
    for argument in arguments:
        path = Path(argument)
        if not path.is_dir():
            paths.append(path)
            continue
        found = sorted(p for p in path.glob("*.pb") if p.is_file())
        if not found:
            _report_error(errors, f"{path}: no .pb files in this folder")
            empty_folder = True
        paths.extend(found)
    return paths, empty_folder


def _run(arguments: argparse.Namespace, output: Console, errors: Console) -> int:
    paths, failed = _expand(arguments.files, errors)
    several = len(paths) > 1 or any(Path(argument).is_dir() for argument in arguments.files)
    results: list[dict[str, Any]] = []
    show_progress = several and errors.is_terminal
    progress = Progress(
        SpinnerColumn(),
        TextColumn("{task.description}", markup=False),
        BarColumn(),
        MofNCompleteColumn(),
        TimeElapsedColumn(),
        console=errors,
        transient=True,
        disable=not show_progress,
    )
    # When the bar and the tables share the terminal, the tables go through
    # the bar's console, which prints them above the bar instead of over it.
    tables = progress.console if show_progress and output.is_terminal else output
    with progress:
        task = progress.add_task("", total=len(paths))
        for path in paths:
            progress.update(task, description=path.name)
            try:
                election = read_election(path)
            except PabulibError as error:
                _report_error(errors, str(error))
                failed = True
            except OSError as error:
                _report_error(errors, f"cannot read {path}: {error.strerror}")
                failed = True
            else:
                outcome = compute_outcome(election, arguments.rule)
                if arguments.json:
                    results.append(outcome_data(path, outcome, arguments.compare))
                else:
                    print_outcome(tables, path, outcome, arguments.compare)
            progress.advance(task)
    if arguments.json:
        print(json.dumps(results, ensure_ascii=False, indent=2))
    return FAILED if failed else 0


def main(argv: Sequence[str] | None = None) -> int:
    arguments = _parser().parse_args(argv)
    # Paths and file contents are plain text, never markup or emoji codes.
    output = Console(markup=False, emoji=False, highlight=False)
    errors = Console(stderr=True, markup=False, emoji=False, highlight=False)
    try:
        return _run(arguments, output, errors)
    except KeyboardInterrupt:
        return INTERRUPTED
    except BrokenPipeError:
        # The reader went away (`quorin ... | head`): silence the final flush.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return FAILED
