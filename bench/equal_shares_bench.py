"""Times quorinbindings on real elections against the floor of its interface.

One row per election: its size; the conversion-only call (pybind11 converting
the six arguments and nothing more); equal_shares_utils; equal_shares_add1
with the fixed-budget runs and the range proofs it makes; the completion that
takes every whole step, with its steps, the distinct outcomes it meets and its
native time per run; the plain Python model's time for one fixed-budget run;
and the peak memory a call adds.
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
LARGE_PAIRS = 100_000
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
    row["convert_s"] = fastest(lambda: quorin_bench.convert_only(*arguments), repeats)
    row["utils_s"] = fastest(lambda: quorinbindings.equal_shares_utils(*arguments), repeats)
    row["add1_s"] = fastest(lambda: quorinbindings.equal_shares_add1(*arguments), repeats)
    profile = quorin_bench.completion_profile(*arguments)
    row["runs"] = profile["skipping_runs"]
    row["proofs"] = profile["range_proofs"]
    row["steps"] = profile["runs"]
    row["distinct"] = profile["distinct_outcomes"]
    row["agrees"] = profile["skipping_agrees"]
    row["run_s"] = profile["run_seconds"] / profile["runs"]
    row["model_run_s"] = fastest(lambda: model.equal_shares_utils(*arguments), model_repeats)
    row["convert_kib"] = peak_added_kib(lambda: quorin_bench.convert_only(*arguments))
    row["utils_kib"] = peak_added_kib(lambda: quorinbindings.equal_shares_utils(*arguments))
    row["add1_kib"] = peak_added_kib(lambda: quorinbindings.equal_shares_add1(*arguments))
    return row


HEADER = (f"{'election':44} {'voters':>7} {'proj':>4} {'pairs':>7} {'convert':>9} {'utils':>9} "
          f"{'add1':>10} {'runs':>6} {'proofs':>6} {'steps':>6} {'distinct':>8} {'same':>4} {'per run':>9} "
          f"{'model run':>10} {'conv MiB':>8} {'utils MiB':>9} {'add1 MiB':>8}")


def format_row(r: dict[str, Any]) -> str:
    return (f"{r['election'][:44]:44} {r['voters']:7} {r['projects']:4} {r['pairs']:7} "
            f"{r['convert_s'] * 1e3:7.2f}ms {r['utils_s'] * 1e3:7.2f}ms {r['add1_s'] * 1e3:8.1f}ms "
            f"{r['runs']:6} {r['proofs']:6} {r['steps']:6} {r['distinct']:8} {'yes' if r['agrees'] else 'NO':>4} "
            f"{r['run_s'] * 1e3:7.3f}ms {r['model_run_s'] * 1e3:8.0f}ms "
            f"{r['convert_kib'] / 1024:8.1f} {r['utils_kib'] / 1024:9.1f} {r['add1_kib'] / 1024:8.1f}")


def target_lines(rows: list[dict[str, Any]]) -> list[str]:
    large = [r for r in rows if r["pairs"] >= LARGE_PAIRS]

    def verdict(met: bool) -> str:
        return "met" if met else "NOT met"

    lines = []
    if large:
        worst = max(large, key=lambda r: r["utils_s"] / r["convert_s"])
        ratio = worst["utils_s"] / worst["convert_s"]
        lines.append(f"target 1, equal_shares_utils <= 1.5 x conversion on elections with >= 100,000 pairs: "
                     f"{verdict(ratio <= 1.5)} (worst {ratio:.2f} x, {worst['election']})")
        worst = max(large, key=lambda r: r["run_s"] / r["convert_s"])
        ratio = worst["run_s"] / worst["convert_s"]
        lines.append(f"target 2a, one run inside equal_shares_add1 <= 0.25 x conversion on those elections: "
                     f"{verdict(ratio <= 0.25)} (worst {ratio:.3f} x, {worst['election']})")
    mean = math.exp(sum(math.log(r["run_s"] / r["model_run_s"]) for r in rows) / len(rows))
    lines.append(f"target 2b, one native run <= 1/200 of the Python model's run (geometric mean): "
                 f"{verdict(mean <= 1 / 200)} (1/{1 / mean:.0f})")
    if large:
        worst = max(large, key=lambda r: max(r["utils_kib"], r["add1_kib"]) / max(r["convert_kib"], 1))
        ratio = max(worst["utils_kib"], worst["add1_kib"]) / max(worst["convert_kib"], 1)
        lines.append(f"target 3, a call adds <= 2 x the peak memory of the conversion-only call "
                     f"(elections with >= 100,000 pairs): {verdict(ratio <= 2)} "
                     f"(worst {ratio:.2f} x, {worst['election']})")
    # A range proof is no fixed-budget run, but it costs about as much as a
    # few, so it counts as one here.
    worst = max(rows, key=lambda r: r["runs"] + r["proofs"] - (3 * r["distinct"] + 10))
    met = [r for r in rows if r["runs"] + r["proofs"] <= 3 * r["distinct"] + 10]
    runs_alone = [r for r in rows if r["runs"] <= 3 * r["distinct"] + 10]
    lines.append(f"completion target 1, runs and range proofs <= 3 x distinct outcomes + 10 on every election: "
                 f"{verdict(len(met) == len(rows))} (on {len(met)} of {len(rows)}, and on {len(runs_alone)} "
                 f"counting fixed-budget runs alone; furthest: {worst['election']}, {worst['runs']} runs and "
                 f"{worst['proofs']} proofs for {worst['distinct']} distinct outcomes)")
    median = statistics.median(r["add1_s"] / r["convert_s"] for r in rows)
    # What one run per distinct outcome would take, with proofs for free:
    # no skipping can do better.
    floor = statistics.median((r["convert_s"] + r["distinct"] * r["run_s"]) / r["convert_s"] for r in rows)
    lines.append(f"completion target 2, equal_shares_add1 <= 3 x conversion on the median election: "
                 f"{verdict(median <= 3)} (median {median:.1f} x; one run per distinct outcome "
                 f"would give {floor:.1f} x)")
    lines.append(f"completion target 3, the same result as stepping everywhere: "
                 f"{verdict(all(r['agrees'] for r in rows))}")
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
