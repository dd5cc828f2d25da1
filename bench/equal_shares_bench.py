"""Times quorinbindings on real elections against the floor of its interface.

One row per election: its size; the reading floor (visiting every element of
the six arguments once through the C API, building nothing); the module's
conversion of the six arguments alone; equal_shares_utils; equal_shares_add1
with the fixed-budget runs and the range proofs it makes; the completion that
takes every whole step, with its steps, the distinct outcomes it meets, its
stretches of unchanged outcome and its native time per run; what the skipping
completion's runs and proofs cost per stretch, in runs; the plain Python
model's time for one fixed-budget run; and the peak memory a call adds.
Every time is the minimum over repeats, all taken in this one process so that
they compare as ratios.
"""

from __future__ import annotations

import argparse
import ctypes
import gc
import json
import math
import pathlib
import statistics
import sys
import time
from collections.abc import Callable
from typing import Any

import model
import quorin_bench
import quorinbindings
from quorin.pabulib import Election, PabulibError, read_election

DATA = pathlib.Path(__file__).resolve().parents[2] / "shared" / "data" / "pabulib"
LARGE_PAIRS = 75_000
# Slow calls are repeated only while their repeats stay within this time.
REPEAT_SECONDS = 5.0


def fastest(call: Callable[[], Any], repeats: int) -> float:
    best = math.inf
    spent = 0.0
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        elapsed = time.perf_counter() - start
        best = min(best, elapsed)
        spent += elapsed
        if spent > REPEAT_SECONDS:
            break
    return best


def status_kib(field: str) -> int:
    for line in pathlib.Path("/proc/self/status").read_text().splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1])
    raise RuntimeError(f"{field} not in /proc/self/status")


LIBC = ctypes.CDLL(None)


def peak_added_kib(call: Callable[[], Any]) -> int:
    """Peak resident memory during the call above what was resident before."""
    gc.collect()
    LIBC.malloc_trim(0)  # returns freed pages, so memory reused by the call counts again
    pathlib.Path("/proc/self/clear_refs").write_text("5")  # resets the peak to the current size
    before = status_kib("VmRSS")
    call()
    return status_kib("VmHWM") - before


def measure(path: pathlib.Path, election: Election, repeats: int, model_repeats: int) -> dict[str, Any]:
    arguments = election.arguments()
    voters, projects, _, approvers, _, _ = arguments
    row: dict[str, Any] = {
        "election": path.stem,
        "voters": len(voters),
        "projects": len(projects),
        "pairs": sum(len(pairs) for pairs in approvers.values()),
    }
    row["floor_s"] = fastest(lambda: quorin_bench.reading_floor(*arguments), repeats)
    row["convert_s"] = fastest(lambda: quorin_bench.convert_only(*arguments), repeats)
    row["utils_s"] = fastest(lambda: quorinbindings.equal_shares_utils(*arguments), repeats)
    row["add1_s"] = fastest(lambda: quorinbindings.equal_shares_add1(*arguments), repeats)
    profile = quorin_bench.completion_profile(*arguments)
    row["runs"] = profile["skipping_runs"]
    row["proofs"] = profile["range_proofs"]
    row["steps"] = profile["runs"]
    row["distinct"] = profile["distinct_outcomes"]
    row["stretches"] = profile["stretches"]
    row["skipping_s"] = profile["skipping_seconds"]
    row["agrees"] = profile["skipping_agrees"]
    row["run_s"] = profile["run_seconds"] / profile["runs"]
    row["model_run_s"] = fastest(lambda: model.equal_shares_utils(*arguments), model_repeats)
    row["convert_kib"] = peak_added_kib(lambda: quorin_bench.convert_only(*arguments))
    row["utils_kib"] = peak_added_kib(lambda: quorinbindings.equal_shares_utils(*arguments))
    row["add1_kib"] = peak_added_kib(lambda: quorinbindings.equal_shares_add1(*arguments))
    return row


HEADER = (f"{'election':44} {'voters':>7} {'proj':>4} {'pairs':>7} {'floor':>9} {'convert':>9} {'utils':>9} "
          f"{'add1':>10} {'runs':>6} {'proofs':>6} {'steps':>6} {'distinct':>8} {'stretch':>7} {'same':>4} {'per run':>9} "
          f"{'/stretch':>8} "
          f"{'model run':>10} {'conv MiB':>8} {'utils MiB':>9} {'add1 MiB':>8} {'B/pair':>6}")


def format_row(r: dict[str, Any]) -> str:
    return (f"{r['election'][:44]:44} {r['voters']:7} {r['projects']:4} {r['pairs']:7} "
            f"{r['floor_s'] * 1e3:7.2f}ms {r['convert_s'] * 1e3:7.2f}ms {r['utils_s'] * 1e3:7.2f}ms {r['add1_s'] * 1e3:8.1f}ms "
            f"{r['runs']:6} {r['proofs']:6} {r['steps']:6} {r['distinct']:8} {r['stretches']:7} {'yes' if r['agrees'] else 'NO':>4} "
            f"{r['run_s'] * 1e3:7.3f}ms {runs_per_stretch(r):8.2f} {r['model_run_s'] * 1e3:8.0f}ms "
            f"{r['convert_kib'] / 1024:8.1f} {r['utils_kib'] / 1024:9.1f} {r['add1_kib'] / 1024:8.1f} "
            f"{bytes_per_pair(r):6.1f}")


def bytes_per_pair(r: dict[str, Any]) -> float:
    """The most memory either call adds, per supporter pair."""
    return max(r["utils_kib"], r["add1_kib"]) * 1024 / max(r["pairs"], 1)


def runs_per_stretch(r: dict[str, Any]) -> float:
    """What the skipping completion spends per stretch of unchanged outcome, in runs."""
    return r["skipping_s"] / (max(r["stretches"], 1) * r["run_s"])


def target_lines(rows: list[dict[str, Any]]) -> list[str]:
    large = [r for r in rows if r["pairs"] >= LARGE_PAIRS]

    def verdict(met: bool) -> str:
        return "met" if met else "NOT met"

    def worst_ratio(key: str, limit: float, what: str) -> str:
        worst = max(large, key=lambda r: r[key] / r["floor_s"])
        ratio = worst[key] / worst["floor_s"]
        return (f"{what} <= {limit:g} x the reading floor on elections with >= {LARGE_PAIRS:,} pairs: "
                f"{verdict(ratio <= limit)} (worst {ratio:.2f} x, {worst['election']})")

    lines = []
    if large:
        lines.append(worst_ratio("convert_s", 2, "conversion"))
        lines.append(worst_ratio("utils_s", 6, "equal_shares_utils"))
        worst = max(large, key=bytes_per_pair)
        lines.append(f"memory, a call adds <= 40 bytes per pair on those elections: "
                     f"{verdict(bytes_per_pair(worst) <= 40)} (worst {bytes_per_pair(worst):.1f}, "
                     f"{worst['election']})")
        lines.append(worst_ratio("run_s", 2, "one rerun"))
        median = statistics.median(runs_per_stretch(r) for r in large)
        lines.append(f"runs and proofs <= 1.5 runs per stretch on the median of those elections: "
                     f"{verdict(median <= 1.5)} (median {median:.2f})")
        median = statistics.median(r["add1_s"] / r["floor_s"] for r in large)
        worst = max(large, key=lambda r: r["add1_s"] / r["floor_s"])
        lines.append(f"equal_shares_add1 <= 80 x the reading floor on the median of those elections and "
                     f"<= 300 x on each: {verdict(median <= 80 and worst['add1_s'] / worst['floor_s'] <= 300)} "
                     f"(median {median:.0f} x, worst {worst['add1_s'] / worst['floor_s']:.0f} x, "
                     f"{worst['election']})")
    lines.append(f"the same result as stepping everywhere: {verdict(all(r['agrees'] for r in rows))}")
    return lines


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("files", nargs="*", type=pathlib.Path,
                        help="elections to run, or folders of them (default: the shared data's folder)")
    parser.add_argument("--repeats", type=int, default=5, help="repeats per figure (default 5)")
    parser.add_argument("--model-repeats", type=int, default=1,
                        help="repeats of the Python model's run (default 1)")
    parser.add_argument("--json", type=pathlib.Path, default=pathlib.Path("build/bench/results.json"),
                        help="where to write the rows (default build/bench/results.json)")
    options = parser.parse_args()

    files = [file for argument in options.files or [DATA] for file in elections(argument)]
    rows = []
    unread = 0
    print(HEADER, flush=True)
    for path in files:
        try:
            election = read_election(path)
        except (PabulibError, OSError) as error:
            # One line, and the other elections still run.
            problem = str(error) if isinstance(error, PabulibError) else f"{path}: {error.strerror}"
            print(f"{path.stem[:44]:44} not read: {problem}", flush=True)
            unread += 1
            continue
        for warning in election.warnings:
            print(f"warning: {warning}", file=sys.stderr, flush=True)
        rows.append(measure(path, election, options.repeats, options.model_repeats))
        print(format_row(rows[-1]), flush=True)
    lines = target_lines(rows) if rows else ["no election was read: no targets to check"]
    print()
    for line in lines:
        print(line)
    options.json.parent.mkdir(parents=True, exist_ok=True)
    options.json.write_text(json.dumps({"rows": rows, "targets": lines}, indent=2))
    if unread:
        sys.exit(f"{unread} of {len(files)} elections could not be read")


def elections(argument: pathlib.Path) -> list[pathlib.Path]:
    """A file named, or the .pb files of a folder in name order."""
    if argument.is_dir():
        return sorted(path for path in argument.glob("*.pb") if path.is_file())
    return [argument]


if __name__ == "__main__":
    main()
