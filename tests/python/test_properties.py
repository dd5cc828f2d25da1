"""Property-based agreement of the module with the plain Python model.

Hypothesis draws elections of every shape, the awkward ones included: NaN,
infinite, signed-zero, negative and huge costs and budgets; utilities at 0,
below 0 and at the int64 limits; totals unequal to the sums of utilities, or
missing where they are never read; supporters missing from the voters;
duplicate voters, projects and pairs; identifiers as str, bytes and
bytearray, some not valid UTF-8; and empty everything. Both functions must
give exactly what the model gives: the same list, or the same exception type
and message.

Every drawn value converts; how values that do not convert are refused is
the conversion matrix's subject.

The model's completion reruns the rule once per whole unit of per-voter
share, so some elections need millions of reruns there. Those it cannot
finish within MAX_RUNS reruns are discarded, and the test checks that they
stay a small minority; the module's own termination on extreme budgets and
costs is tested in test_termination.py.

CI runs a fixed profile (derandomized, a fixed number of examples); set
QUORIN_PROPERTY_PROFILE=long for a longer, randomized local run.
"""

import collections
import contextlib
import faulthandler
import math
import os
import sys

import pytest
from hypothesis import HealthCheck, assume, example, given, settings
from hypothesis import strategies as st

import model
from outcomes import result_or_error
import quorinbindings

INT64_MIN = -(2**63)
INT64_MAX = 2**63 - 1
MAX_RUNS = 2000
MAX_DISCARDED_SHARE = 0.05
# A call into the module holds the interpreter lock throughout, so no
# Python-level timeout could interrupt one that never returns.
NATIVE_CALL_LIMIT = 60

settings.register_profile(
    "properties-ci", max_examples=2500, derandomize=True, database=None, deadline=None,
    suppress_health_check=[HealthCheck.too_slow])
settings.register_profile(
    "properties-long", max_examples=50_000, deadline=None,
    suppress_health_check=[HealthCheck.too_slow])
PROFILE_NAME = "properties-" + os.environ.get("QUORIN_PROPERTY_PROFILE", "ci")
PROFILE = settings.get_profile(PROFILE_NAME)
TIMEOUT = 600 if PROFILE_NAME == "properties-ci" else 24 * 3600

VOTER_NAMES = [b"ann", b"bob", b"cem", b"", "\u00e9va".encode(), b"\xffx"]
PROJECT_NAMES = [b"Park", b"Pool", b"Quay", b"", "\u20ac".encode(), b"\xfe"]

SPECIAL_NUMBERS = [math.nan, math.inf, -math.inf, 0.0, -0.0, 1e300, -1e300,
                   sys.float_info.max, -sys.float_info.max, 5e-324, 2.0**53, 0.1]
SPECIAL_INTEGERS = [0, -1, INT64_MAX, INT64_MIN, -INT64_MAX, 2**53 + 1]


def is_utf8(raw):
    try:
        raw.decode("utf-8")
    except UnicodeDecodeError:
        return False
    return True


def identifier_forms(names):
    """Every accepted form of each name: str (when valid UTF-8), bytes, bytearray."""
    forms = []
    for raw in names:
        if is_utf8(raw):
            forms.append(raw.decode("utf-8"))
        forms += [raw, bytearray(raw)]
    return st.sampled_from(forms)


def key_forms(raw):
    """Map keys for raw; bytearray is unhashable."""
    return st.sampled_from([raw.decode("utf-8"), raw] if is_utf8(raw) else [raw])


voter_ids = identifier_forms(VOTER_NAMES)
project_ids = identifier_forms(PROJECT_NAMES)
project_keys = {raw: key_forms(raw) for raw in PROJECT_NAMES}


def weighted(ordinary, *awkward):
    """`ordinary` seven times in ten, otherwise one of `awkward`; shrinks to ordinary."""
    awkward = st.one_of(awkward)
    return st.integers(0, 9).flatmap(lambda k: ordinary if k < 7 else awkward)


numbers = weighted(
    st.integers(0, 30).map(float),
    st.sampled_from(SPECIAL_NUMBERS),
    st.integers(-10, 10),
    st.floats(),
)
budgets = weighted(
    st.integers(0, 120).map(float),
    st.sampled_from(SPECIAL_NUMBERS),
    st.floats(),
    st.integers(-(2**70), 2**70),
    st.booleans(),
)
utilities = weighted(
    st.integers(1, 5),
    st.integers(-3, 0),
    st.sampled_from(SPECIAL_INTEGERS),
    st.integers(INT64_MIN, INT64_MAX),
    st.booleans(),
)
# A pair as a tuple or as a two-item list.
pairs_lists = st.lists(
    st.tuples(voter_ids, utilities, st.booleans()).map(
        lambda t: [t[0], t[1]] if t[2] else (t[0], t[1])),
    max_size=6)
# Mostly the sum of the utilities, as in well-formed input.
total_kinds = st.sampled_from(["sum", "sum", "near_sum", "special"])
total_offsets = st.integers(-3, 3)
special_totals = st.sampled_from(SPECIAL_INTEGERS)
entry_counts = st.integers(1, 2)
present = st.integers(0, 19).map(lambda k: k < 19)


def clamped(value):
    return max(INT64_MIN, min(INT64_MAX, value))


def lists_seldom_empty(elements):
    """Lists of up to eight, empty one time in ten."""
    return st.integers(0, 9).flatmap(
        lambda k: st.lists(elements, min_size=1, max_size=8) if k else st.just([]))


@st.composite
def wild_elections(draw):
    voters = draw(lists_seldom_empty(voter_ids))
    projects = draw(lists_seldom_empty(project_ids))
    cost, approvers, totals = {}, {}, {}
    for raw in draw(st.permutations(PROJECT_NAMES)):
        pairs = draw(pairs_lists)
        utility_sum = sum(int(u) for _, u in pairs)
        keys = project_keys[raw]
        # One or two entries for the same bytes, under str or bytes keys.
        if draw(present):
            for _ in range(draw(entry_counts)):
                cost[draw(keys)] = draw(numbers)
        if draw(present):
            for _ in range(draw(entry_counts)):
                approvers[draw(keys)] = pairs
        if draw(present):
            for _ in range(draw(entry_counts)):
                kind = draw(total_kinds)
                if kind == "special":
                    total = draw(special_totals)
                else:
                    total = clamped(utility_sum + (draw(total_offsets) if kind == "near_sum" else 0))
                totals[draw(keys)] = total
    return voters, projects, cost, approvers, totals, draw(budgets)


@st.composite
def well_formed_elections(draw):
    """Distinct voters, positive costs and utilities, totals equal to the sums:
    the rule's own domain, where ties and long walks are common."""
    voter_count = draw(st.integers(1, 8))
    voters = [f"v{i}" for i in range(voter_count)]
    project_count = draw(st.integers(1, 6))
    projects = [f"p{i}" for i in range(project_count)]
    cost, approvers, totals = {}, {}, {}
    for p in projects:
        cost[p] = float(draw(st.integers(1, 12)))
        supporters = draw(st.lists(st.sampled_from(voters), min_size=1, max_size=voter_count, unique=True))
        pairs = [(v, draw(st.integers(1, 4))) for v in supporters]
        approvers[p] = pairs
        totals[p] = sum(u for _, u in pairs)
    total_cost = sum(cost.values())
    budget = draw(st.one_of(
        st.integers(2, 20).map(lambda tenths: tenths * total_cost / 10),
        st.floats(0.3 * total_cost, 2 * total_cost),
        st.integers(1, 12).map(lambda k: float(k * voter_count)),
    ))
    return voters, projects, cost, approvers, totals, budget


def with_empty_elections(test):
    """Also run the elections where everything is empty, whatever is drawn."""
    for budget in (0.0, -0.0, math.nan, math.inf, -math.inf, -1.0, 10.0):
        test = example(([], [], {}, {}, {}, budget))(test)
    return test


@contextlib.contextmanager
def native_call_limit():
    """Ends the whole process, stacks dumped, if the module does not return:
    faulthandler's watchdog thread needs no interpreter lock."""
    faulthandler.dump_traceback_later(NATIVE_CALL_LIMIT, exit=True)
    try:
        yield
    finally:
        faulthandler.cancel_dump_traceback_later()


def module_result(function, args):
    with native_call_limit():
        return result_or_error(function, args)


def check_fixed_budget_rule(args):
    expected = result_or_error(model.equal_shares_utils, args)
    assert module_result(quorinbindings.equal_shares_utils, args) == expected


def check_completion(args, counts):
    counts["drawn"] += 1
    try:
        expected = result_or_error(model.equal_shares_add1, args, max_runs=MAX_RUNS)
    except model.TooManyRuns:
        counts["discarded"] += 1
        assume(False)
    assert module_result(quorinbindings.equal_shares_add1, args) == expected


@pytest.mark.timeout(TIMEOUT)
@pytest.mark.parametrize("elections", [wild_elections(), well_formed_elections()],
                         ids=["wild", "well_formed"])
def test_fixed_budget_rule_agrees_with_model(elections):
    @PROFILE
    @with_empty_elections
    @given(elections)
    def check(args):
        check_fixed_budget_rule(args)

    check()


@pytest.mark.timeout(TIMEOUT)
@pytest.mark.parametrize("elections", [wild_elections(), well_formed_elections()],
                         ids=["wild", "well_formed"])
def test_completion_agrees_with_model(elections):
    counts = collections.Counter()

    @PROFILE
    @with_empty_elections
    @given(elections)
    def check(args):
        check_completion(args, counts)

    check()
    assert counts["discarded"] <= MAX_DISCARDED_SHARE * counts["drawn"]
