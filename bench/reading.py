"""Times the .pb reader alone: bench/reading.py [--repeats N] [FILE.pb or FOLDER ...]

One line per election with the fastest of N reads (default 3), then the sum.
Without arguments it reads the shared data's folder.
"""

from __future__ import annotations

import argparse
import pathlib
import sys
import time

from quorin.pabulib import PabulibError, read_election

DATA = pathlib.Path(__file__).resolve().parents[2] / "shared" / "data" / "pabulib"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("files", nargs="*", type=pathlib.Path)
    parser.add_argument("--repeats", type=int, default=3)
    options = parser.parse_args()
    files = [
        file
        for argument in options.files or [DATA]
        for file in (sorted(argument.glob("*.pb")) if argument.is_dir() else [argument])
    ]
    total = 0.0
    read = 0
    for path in files:
        best = float("inf")
        try:
            for _ in range(options.repeats):
                start = time.perf_counter()
                read_election(path)
                best = min(best, time.perf_counter() - start)
        except PabulibError as error:
            print(f"{path.name[:60]:60} not read: {error}", file=sys.stderr)
            continue
        except OSError as error:
            print(f"{path.name[:60]:60} not read: {path}: {error.strerror}", file=sys.stderr)
            continue
        total += best
        read += 1
        print(f"{path.name[:60]:60} {best * 1e3:9.1f} ms")
    print(f"{f'{read} of {len(files)} read, in all':60} {total * 1e3:9.1f} ms")


if __name__ == "__main__":
    main()
