"""The quorin command: outcomes of .pb elections, as tables or JSON."""

from __future__ import annotations

import argparse
import json
import multiprocessing
import os
import signal
import sys
from collections.abc import Callable, Generator, Sequence
from concurrent.futures import Future, ProcessPoolExecutor
from concurrent.futures.process import BrokenProcessPool
from contextlib import closing
from dataclasses import dataclass
from functools import partial
from pathlib import Path
from typing import Any

from rich.console import Console, RenderableType
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
from quorin.report import outcome_data, outcome_view

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
    parser.add_argument(
        "--explain",
        action="store_true",
        help="also say, for each winner, when it was bought and what its supporters paid, "
        "and for each other project why it was not bought",
    )
    cores = os.process_cpu_count() or 1
    parser.add_argument(
        "--jobs",
        type=_jobs,
        default=cores,
        metavar="N",
        help=f"worker processes sharing several files (default: the cores, here {cores}); "
        "the output keeps the files' order",
    )
    return parser


def _jobs(text: str) -> int:
    try:
        jobs = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number") from None
    if jobs < 1:
        raise argparse.ArgumentTypeError(f"{text!r} is not at least 1")
    return jobs


def _report(errors: Console, kind: str, message: str) -> None:
    # One line however long, so that logs and grep keep it whole.
    errors.print(f"quorin: {kind}: {message}", soft_wrap=True)


def _report_error(errors: Console, message: str) -> None:
    _report(errors, "error", message)


@dataclass(frozen=True)
class _Examined:
    """What one file gives, small enough to come back from a worker process."""

    warnings: tuple[str, ...] = ()
    error: str | None = None
    # The outcome for --json, or what print lays out for the tables.
    data: dict[str, Any] | None = None
    view: RenderableType | None = None


def _examine(path: Path, rule: str, compare: bool, as_json: bool, explained: bool) -> _Examined:
    try:
        election = read_election(path)
    except PabulibError as error:
        return _Examined(error=str(error))
    except OSError as error:
        return _Examined(error=f"cannot read {path}: {error.strerror}")
    outcome = compute_outcome(election, rule, explained)
    warnings = tuple(map(str, election.warnings))
    # The ballots stay here: the data and the view hold only what is shown.
    if as_json:
        return _Examined(warnings=warnings, data=outcome_data(path, outcome, compare))
    return _Examined(warnings=warnings, view=outcome_view(path, outcome, compare))


def _ignore_interrupts() -> None:
    # Ctrl-C reaches the whole process group; the main process alone answers
    # it, by ending the workers, so they print no tracebacks of their own.
    signal.signal(signal.SIGINT, signal.SIG_IGN)


def _examined_in_order(
    paths: list[Path],
    examine: Callable[[Path], _Examined],
    jobs: int,
    waiting: Callable[[Path], None],
    done: Callable[[], None],
) -> Generator[_Examined]:
    """What each file gives, in the order given; with several jobs, worker
    processes examine the files, `done` telling as each finishes."""
    if jobs == 1 or len(paths) < 2:
        for path in paths:
            waiting(path)
            yield examine(path)
            done()
        return
    # Spawned rather than forked: the progress bar runs a thread, and
    # forking a process with threads can deadlock the child.
    # A caller of main() may have processes of its own; only the pool's are
    # ended on an interrupt.
    others = set(multiprocessing.active_children())
    pool = ProcessPoolExecutor(
        max_workers=min(jobs, len(paths)),
        mp_context=multiprocessing.get_context("spawn"),
        initializer=_ignore_interrupts,
    )
    finished = False
    try:
        futures = [pool.submit(examine, path) for path in paths]
        count_done = _call_back(done)
        for future in futures:
            future.add_done_callback(count_done)
        for path, future in zip(paths, futures):
            waiting(path)
            try:
                examined = future.result()
            except BrokenProcessPool:
                examined = _Examined(error=f"{path}: its worker process ended abruptly")
            yield examined
        finished = True
    finally:
        if not finished:
            # Interrupted, or the output went away: what is running is not
            # wanted any more.
            for worker in set(multiprocessing.active_children()) - others:
                worker.terminate()
        pool.shutdown(wait=True, cancel_futures=True)


def _call_back(done: Callable[[], None]) -> Callable[[Future[_Examined]], None]:
    def call(future: Future[_Examined]) -> None:
        if not future.cancelled():
            done()

    return call


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
    examine = partial(
        _examine,
        rule=arguments.rule,
        compare=arguments.compare,
        as_json=arguments.json,
        explained=arguments.explain,
    )
    with progress:
        task = progress.add_task("", total=len(paths))
        examined_files = _examined_in_order(
            paths,
            examine,
            arguments.jobs,
            waiting=lambda path: progress.update(task, description=path.name),
            done=lambda: progress.advance(task),
        )
        # Closing it at once on an interrupt or a broken pipe ends the workers.
        with closing(examined_files):
            for examined in examined_files:
                for warning in examined.warnings:
                    _report(errors, "warning", warning)
                if examined.error is not None:
                    _report_error(errors, examined.error)
                    failed = True
                elif examined.data is not None:
                    results.append(examined.data)
                elif examined.view is not None:
                    tables.print(examined.view)
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
