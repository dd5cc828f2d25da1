"""Callers that fight back: caller code that changes or frees the arguments
while they are read, exceptions that must not be swallowed, identifiers
built to collide, input on which the rule would overspend, lying lengths and
sub-interpreters. Each case must end in a result or a Python exception.

Cases that could crash the interpreter run in a child process, so that a
crash fails one test instead of ending the run.
"""

import math
import pathlib
import random
import subprocess
import sys
import textwrap

import pytest

import quorinbindings
from colliding_ids import colliding_ids

FUNCTIONS = [quorinbindings.equal_shares_utils, quorinbindings.equal_shares_add1]
LIMIT_SECONDS = 20

# Shared by every child: a small election whose pieces the cases replace.
PRELUDE = """
import sys, threading
from fractions import Fraction
import quorinbindings
from quorinbindings import equal_shares_utils, equal_shares_add1
voters = ["ann", "bob"]
projects = ["P", "Q"]
cost = {"P": 40.0, "Q": 45.0}
approvers = {"P": [("ann", 1)], "Q": [("bob", 1)]}
totals = {"P": 1, "Q": 1}

def outcome(function, *args):
    try:
        return function(*args)
    except Exception as error:
        return type(error).__name__
"""


def run_child(body):
    completed = subprocess.run(
        [sys.executable, "-c", PRELUDE + textwrap.dedent(body)],
        capture_output=True, text=True, timeout=LIMIT_SECONDS)
    assert completed.returncode == 0, completed.stderr[-2000:]
    return completed.stdout.split()


MUTATIONS = {
    "float hook clears the cost map, then raises": """
        class Hook:
            def __float__(self):
                cost.clear()
                raise RuntimeError("gone")
        cost["P"] = Hook()
        print(outcome(equal_shares_utils, voters, projects, cost, approvers, totals, 100.0))
    """,
    "float hook clears the cost map, then returns no float": """
        class Hook:
            def __float__(self):
                cost.clear()
                return "forty"
        cost["Q"] = Hook()
        print(outcome(equal_shares_add1, voters, projects, cost, approvers, totals, 100.0))
    """,
    "index hook replaces the total utilities, then raises": """
        class Hook:
            def __index__(self):
                totals.clear()
                totals.update({f"k{i}": [i] * 8 for i in range(500)})
                raise ValueError("replaced")
        totals["P"] = Hook()
        print(outcome(equal_shares_utils, voters, projects, cost, approvers, totals, 100.0))
    """,
    "index hook empties a pair list and the map holding it": """
        class Hook:
            def __index__(self):
                approvers["P"].clear()
                approvers.clear()
                raise ValueError("emptied")
        approvers["P"] = [("ann", Hook()), ("bob", 1)]
        print(outcome(equal_shares_utils, voters, projects, cost, approvers, totals, 100.0))
    """,
    "index hook empties the voters' pair tuple's list": """
        class Hook:
            def __index__(self):
                del approvers["Q"][:]
                return 1
        approvers["Q"] = [["bob", Hook()], ("ann", 1)]
        print(outcome(equal_shares_add1, voters, projects, cost, approvers, totals, 100.0))
    """,
    "a thread replaces a cost while its conversion fails": """
        import time
        class Huge(Fraction):
            # Gives up the interpreter lock, so that the other thread runs.
            def __float__(self):
                time.sleep(0)
                return Fraction.__float__(self)
        stop = False
        def replace():
            while not stop:
                cost["P"] = Huge(10**400)
                time.sleep(0)
        thread = threading.Thread(target=replace)
        cost["P"] = Huge(10**400)
        thread.start()
        seen = {outcome(equal_shares_utils, voters, projects, cost, approvers, totals, 100.0)
                for _ in range(2000)}
        stop = True
        thread.join()
        print(*sorted(seen))
    """,
    "a hook calls the module again and changes the voters": """
        class Hook:
            def __float__(self):
                voters.append("cem")
                inner = equal_shares_utils(voters, projects, {"P": 1.0, "Q": 1.0}, approvers, totals, 10.0)
                voters.clear()
                return 40.0 + len(inner)
        cost["P"] = Hook()
        print(outcome(equal_shares_utils, voters, projects, cost, approvers, totals, 100.0))
    """,
}

EXPECTED = {
    "float hook clears the cost map, then raises": ["TypeError"],
    "float hook clears the cost map, then returns no float": ["TypeError"],
    "index hook replaces the total utilities, then raises": ["TypeError"],
    "index hook empties a pair list and the map holding it": ["TypeError"],
    "index hook empties the voters' pair tuple's list": ["['P',", "'Q']"],
    "a thread replaces a cost while its conversion fails": ["TypeError"],
    # Voters are read before the hook runs: two of them hold 50 each.
    "a hook calls the module again and changes the voters": ["['P',", "'Q']"],
}


@pytest.mark.parametrize("case", MUTATIONS, ids=list(MUTATIONS))
def test_caller_code_that_changes_arguments_gets_a_result_or_an_exception(case):
    assert run_child(MUTATIONS[case]) == EXPECTED[case]


class Raises:
    """A number whose conversion hooks raise `error`."""

    def __init__(self, error):
        self.error = error

    def __float__(self):
        raise self.error

    def __index__(self):
        raise self.error


class Interrupt(BaseException):
    pass


def election(**changes):
    arguments = dict(voters=["ann", "bob"], projects=["P", "Q"], cost={"P": 40.0, "Q": 45.0},
                     approvers={"P": [("ann", 1)], "Q": [("bob", 1)]}, totals={"P": 1, "Q": 1},
                     budget=100.0)
    arguments.update(changes)
    return list(arguments.values())


def with_value(position, value):
    """The base election with `value` where a number is read at `position`."""
    return {
        "cost": lambda: election(cost={"P": 40.0, "Q": value}),
        "utility": lambda: election(approvers={"P": [("ann", 1)], "Q": [("bob", value)]}),
        "total utility": lambda: election(totals={"P": value, "Q": 1}),
        "budget": lambda: election(budget=value),
    }[position]()


POSITIONS = ["cost", "utility", "total utility", "budget"]


@pytest.mark.parametrize("function", FUNCTIONS)
@pytest.mark.parametrize("position", POSITIONS)
@pytest.mark.parametrize("error_type", [MemoryError, KeyboardInterrupt, SystemExit, Interrupt])
def test_memory_errors_and_base_exceptions_from_hooks_reach_the_caller(function, position, error_type):
    error = error_type("from the hook")
    with pytest.raises(error_type) as raised:
        function(*with_value(position, Raises(error)))
    assert raised.value is error


@pytest.mark.parametrize("function", FUNCTIONS)
@pytest.mark.parametrize("position", POSITIONS)
def test_ordinary_hook_failures_stay_incompatible_arguments(function, position):
    with pytest.raises(TypeError, match=r"\(\): incompatible function arguments\. ") as raised:
        function(*with_value(position, Raises(LookupError("no number"))))
    assert raised.value.__cause__ is None


def test_identifiers_colliding_under_the_standard_hash_stay_fast_and_distinct():
    body = """
        from colliding_ids import colliding_ids
        ids = colliding_ids(17)[:100_000]
        pairs = [(voter, 1) for voter in ids]
        # Every voter holds 1; P needs all 100,000 of them, Q one more.
        args = (ids, ["P", "Q"], {"P": 100_000.0, "Q": 100_001.0}, {"P": pairs, "Q": pairs},
                {"P": 100_000, "Q": 100_000}, 100_000.0)
        print(equal_shares_utils(*args), equal_shares_add1(*args))
    """
    completed = subprocess.run(
        [sys.executable, "-c", PRELUDE + textwrap.dedent(body)], capture_output=True, text=True,
        timeout=LIMIT_SECONDS, cwd=pathlib.Path(__file__).parent)
    assert completed.returncode == 0, completed.stderr[-2000:]
    assert completed.stdout.split() == ["['P']", "['P']"]


def test_colliding_identifiers_really_collide():
    from colliding_ids import std_hash
    ids = colliding_ids(5)
    assert len(set(ids)) == 32 and len({std_hash(i) for i in ids}) == 1


class TestMalformedInputIsRefused:
    @pytest.mark.parametrize("function", FUNCTIONS)
    @pytest.mark.parametrize("repeated", [("ann", "ann"), ("ann", b"ann"), (bytearray(b"ann"), "ann")])
    def test_a_voter_listed_twice_for_one_project(self, function, repeated):
        # Listed 1,000 times, two voters holding 2 in all would buy a project
        # costing 1,000.
        pairs = [(repeated[0], 1)] + [(repeated[1], 1)] * 999
        args = election(cost={"P": 1000.0, "Q": 45.0}, approvers={"P": pairs, "Q": [("bob", 1)]},
                        totals={"P": 1000, "Q": 1}, budget=2.0)
        with pytest.raises(ValueError, match=r"^approvers_utilities\['P'\] lists a voter more than once$"):
            function(*args)

    @pytest.mark.parametrize("function", FUNCTIONS)
    def test_the_message_escapes_what_is_not_printable(self, function):
        args = election(projects=[b"P\xff'"], cost={b"P\xff'": 1.0},
                        approvers={b"P\xff'": [("ann", 1), ("ann", 1)]}, totals={b"P\xff'": 2})
        with pytest.raises(ValueError, match=r"^approvers_utilities\['P\\xff\\''\] lists"):
            function(*args)

    @pytest.mark.parametrize("function", FUNCTIONS)
    def test_a_voter_twice_in_a_project_never_admitted_is_no_error(self, function):
        args = election(cost={"P": 40.0, "Q": 0.0}, approvers={"P": [("ann", 1)], "Q": [("bob", 1)] * 2})
        assert function(*args) == ["P"]

    @pytest.mark.parametrize("function", FUNCTIONS)
    def test_a_nan_budget(self, function):
        with pytest.raises(ValueError, match="^total_budget is NaN$"):
            function(*election(budget=math.nan))

    @pytest.mark.parametrize("function", FUNCTIONS)
    def test_a_missing_key_is_still_reported_first(self, function):
        with pytest.raises(IndexError, match="^_Map_base::at$"):
            function(*election(projects=["P", "Q", "R"], budget=math.nan))


def random_hostile_election(rng):
    voters = [f"v{i}" for i in range(rng.randint(1, 6))]
    projects = [f"p{i}" for i in range(rng.randint(1, 6))]
    cost = {p: rng.choice([1.0, 3.0, 10.0, 1e300, math.inf, rng.uniform(0, 20)]) for p in projects}
    approvers = {}
    for p in projects:
        pairs = [(v, rng.randint(1, 3)) for v in rng.sample(voters, rng.randint(1, len(voters)))]
        if rng.random() < 0.3:
            pairs += [rng.choice(pairs)] * rng.randint(1, 5)
        approvers[p] = pairs
    totals = {p: sum(u for _, u in pairs) for p, pairs in approvers.items()}
    budget = rng.choice([math.nan, 1e308, 1e300, rng.uniform(0, 50), float(len(voters))])
    return voters, projects, cost, approvers, totals, budget


@pytest.mark.parametrize("function", FUNCTIONS)
def test_no_fixed_budget_outcome_costs_more_than_the_budget_unless_the_call_raised(function):
    rng = random.Random(13)
    for _ in range(2000):
        args = random_hostile_election(rng)
        try:
            outcome = function(*args)
        except ValueError:
            continue
        assert sum(args[2][p] for p in outcome) <= args[5], args


class LyingLength:
    """A sequence whose __len__ claims far more items than it has."""

    def __init__(self, items):
        self.items = list(items)

    def __len__(self):
        return 2**60

    def __getitem__(self, index):
        return self.items[index]


@pytest.mark.parametrize("function", FUNCTIONS)
@pytest.mark.parametrize("argument, args", [
    ("voters", election(voters=LyingLength(["ann", "bob"]))),
    ("projects", election(projects=LyingLength(["P", "Q"]))),
    ("approvers_utilities", election(approvers={"P": LyingLength([("ann", 1)]), "Q": [("bob", 1)]})),
])
def test_a_lying_length_names_the_argument(function, argument, args):
    with pytest.raises(MemoryError, match=f"^{argument}: "):
        function(*args)


SUB_INTERPRETER_IMPORT = """
try:
    import quorinbindings
    print("imported")
except ImportError as error:
    print("refused:", error)
"""


@pytest.mark.parametrize("configuration", ["legacy", "isolated"])
def test_sub_interpreters_are_refused(configuration):
    body = f"""
        import _interpreters
        interpreter = _interpreters.create({configuration!r})
        _interpreters.run_string(interpreter, {SUB_INTERPRETER_IMPORT!r})
        print(equal_shares_utils(voters, projects, cost, approvers, totals, 100.0))
    """
    output = run_child(body)
    assert output[0] == "refused:"
    # The main interpreter goes on as before.
    assert output[-2:] == ["['P',", "'Q']"]
