"""Many calls leak nothing, and calls from several threads do not interfere.

The calls mix successes with every way a call can fail: arguments that do
not convert, exceptions raised by argument objects while they are consumed,
conversion hooks that raise, a missing map key in the rule, and a result
that is not valid UTF-8.
"""

import gc
import os
import random
import sys
import threading

import pytest

import elections
from items_mapping import ItemsMapping
from quorinbindings import equal_shares_add1, equal_shares_utils

CALLS = 100_000
# Resident memory may grow this much over CALLS calls once warmed up: a leak
# of 16 bytes per call would exceed it.
MEMORY_BOUND = 1_600_000
THREADS = 8


def name(prefix, i):
    # Built at run time, so not an interned (immortal) string whose
    # reference count never changes.
    return "".join([prefix, str(i)])


def failing_items():
    raise LookupError("items")


class RaisingFloat:
    def __float__(self):
        raise ArithmeticError("float")


def raising_voters(voters):
    yield voters[0]
    raise LookupError("voters")


def make_calls():
    """(function, argument builder, expected exception type or None) for every path."""
    voters = [name("voter", i) for i in range(3)]
    projects = [name("project", i) for i in range(3)]
    cost = {p: float(10 + i) + 0.5 for i, p in enumerate(projects)}
    approvers = {p: [(v, 1 + i) for i, v in enumerate(voters)] for p in projects}
    totals = {p: 6 for p in projects}
    budget = float(40)
    good = [voters, projects, cost, approvers, totals, budget]

    def changed(position, value):
        arguments = list(good)
        arguments[position] = value
        return arguments

    undecodable = [b"\xff" + projects[0].encode()]
    undecodable_cost = {undecodable[0]: 5.0}
    undecodable_approvers = {undecodable[0]: [(voters[0], 1)]}
    undecodable_totals = {undecodable[0]: 1}
    broken = ItemsMapping(failing_items)
    raising_float = RaisingFloat()
    missing_key = [voters, projects, {projects[0]: 1.0}, approvers, totals, budget]
    missing_total = [voters, projects, cost, approvers, {projects[0]: 6}, budget]

    paths = [
        (lambda: good, None),
        (lambda: [tuple(voters), set(projects), cost, approvers, totals, 40], None),
        (lambda: [[v.encode() for v in voters], projects, cost, approvers, totals, budget], None),
        (lambda: [(v for v in voters), projects, cost, approvers, totals, budget], None),
        (lambda: changed(0, None), TypeError),
        (lambda: changed(1, "project0"), TypeError),
        (lambda: changed(2, {projects[0]: "1"}), TypeError),
        (lambda: changed(3, {projects[0]: [(voters[0], 1.5)]}), TypeError),
        (lambda: changed(4, {projects[0]: 2**63}), TypeError),
        (lambda: changed(5, raising_float), TypeError),
        (lambda: changed(0, raising_voters(voters)), LookupError),
        (lambda: changed(2, broken), LookupError),
        (lambda: missing_key, IndexError),
        (lambda: missing_total, IndexError),
        (lambda: [voters, undecodable, undecodable_cost, undecodable_approvers, undecodable_totals,
                  budget], UnicodeDecodeError),
    ]
    persistent = [good, missing_key, missing_total, undecodable, undecodable_cost,
                  undecodable_approvers, undecodable_totals, broken, raising_float]
    calls = [(function, build, expected)
             for function in (equal_shares_utils, equal_shares_add1)
             for build, expected in paths]
    return calls, persistent


def run(calls, count):
    for i in range(count):
        function, build, expected = calls[i % len(calls)]
        try:
            function(*build())
        except Exception as error:
            assert type(error) is expected
        else:
            assert expected is None


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def under_address_sanitizer():
    with open("/proc/self/maps") as maps:
        return "libasan" in maps.read()


def everything_in(objects):
    """The objects and, recursively, every container element and map key and value."""
    seen = {}
    stack = list(objects)
    while stack:
        obj = stack.pop()
        if id(obj) in seen:
            continue
        seen[id(obj)] = obj
        if isinstance(obj, dict):
            stack.extend(obj.keys())
            stack.extend(obj.values())
        elif isinstance(obj, (list, tuple, set)):
            stack.extend(obj)
    return list(seen.values())


def test_memory_stays_flat_over_many_calls():
    if under_address_sanitizer():
        pytest.skip("ASan's quarantine holds freed memory; the native tests check leaks")
    calls, _ = make_calls()
    run(calls, CALLS // 10)
    gc.collect()
    before = resident_bytes()
    run(calls, CALLS)
    gc.collect()
    growth = resident_bytes() - before
    print(f"resident memory grew by {growth} bytes over {CALLS} calls")
    assert growth <= MEMORY_BOUND


def test_reference_counts_of_arguments_are_unchanged():
    calls, persistent = make_calls()
    objects = everything_in(persistent)
    run(calls, len(calls))
    gc.collect()
    before = [sys.getrefcount(obj) for obj in objects]
    run(calls, CALLS)
    gc.collect()
    after = [sys.getrefcount(obj) for obj in objects]
    changed = [(obj, b, a) for obj, b, a in zip(objects, before, after) if a != b]
    assert changed == []


def outcome(function, arguments):
    try:
        return function(*arguments)
    except Exception as error:
        return type(error).__name__, str(error)


def test_threads_get_the_serial_results():
    rng = random.Random("threads")
    families = [elections.tie_free, elections.tie_heavy]
    work = [[(function, families[(t + i) % 2](rng))
             for i in range(60) for function in (equal_shares_utils, equal_shares_add1)]
            for t in range(THREADS)]
    serial = [[outcome(function, arguments) for function, arguments in calls] for calls in work]

    start = threading.Barrier(THREADS)
    results = [None] * THREADS

    def worker(t):
        start.wait()
        results[t] = [[outcome(function, arguments) for function, arguments in work[t]]
                      for _ in range(5)]

    threads = [threading.Thread(target=worker, args=(t,)) for t in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for t in range(THREADS):
        assert results[t] == [serial[t]] * 5
