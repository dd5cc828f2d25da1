"""Times equal_shares_add1 where one project never bought costs 10^k.

The outcome is the same at every scale; only the stretch of unchanged
outcome before that project could be afforded grows. Run from the checkout:
.venv/bin/python bench/magnitude.py [--repeats N]
"""

import argparse
import math
import time

import quorinbindings


def two_cheap_and_big(big_cost):
    """One voter: two cheap projects tied with each other, and Big."""
    return (["v1"], ["T1", "T2", "Big", "Free"],
            {"T1": 10.0, "T2": 10.0, "Big": big_cost, "Free": 0.0},
            {"T1": [("v1", 1)], "T2": [("v1", 1)], "Big": [("v1", 1)]},
            {"T1": 1, "T2": 1, "Big": 1}, 20.0)


def two_camps_and_big(big_cost):
    """A hundred voters in two camps, and Big, which all of them back."""
    voters = [f"v{i}" for i in range(100)]
    approvers = {
        "North": [(v, 1) for v in voters[:60]],
        "South": [(v, 1) for v in voters[60:]],
        "Park": [(v, 2) for v in voters[::3]],
        "Big": [(v, 1) for v in voters],
    }
    totals = {p: sum(u for _, u in pairs) for p, pairs in approvers.items()}
    cost = {"North": 300.0, "South": 200.0, "Park": 250.0, "Big": big_cost, "Free": 0.0}
    return voters, ["North", "South", "Park", "Big", "Free"], cost, approvers, totals, 700.0


def fastest(args, repeats):
    best = math.inf
    for _ in range(repeats):
        start = time.perf_counter()
        result = quorinbindings.equal_shares_add1(*args)
        best = min(best, time.perf_counter() - start)
    return best, result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=5)
    options = parser.parse_args()
    costs = [10.0**k for k in (3, 6, 9, 12, 15, 18)] + [math.inf]
    for name, election in (("two cheap and big", two_cheap_and_big),
                           ("two camps and big", two_camps_and_big)):
        for cost in costs:
            seconds, result = fastest(election(cost), options.repeats)
            print(f"{name:18} Big {cost:8.0e}: {seconds * 1e3:9.3f} ms  {result}")


if __name__ == "__main__":
    main()
