"""Plain Python reference of the Method of Equal Shares with utilities.

Written for clarity, not speed: the agreement tests run it beside the
extension module on the same elections and demand identical results. Every
number is a Python float (an IEEE double, like the module's), utilities enter
arithmetic through float(), and division goes through ieee_div because Python
raises on a zero divisor where the module gets inf or NaN.
"""

import math

INT64_MIN = -(2**63)
INT64_MAX = 2**63 - 1


class TooManyRuns(Exception):
    """The completion would need more fixed-budget runs than the caller allowed."""


def ieee_div(a, b):
    a = float(a)
    b = float(b)
    if b != 0.0:
        return a / b
    if math.isnan(a) or a == 0.0:
        return math.nan
    return math.copysign(math.inf, a) * math.copysign(1.0, b)


def truncate_to_int64(x):
    if math.isnan(x):
        return 0
    if x >= 2.0**63:
        return INT64_MAX
    if x <= -(2.0**63):
        return INT64_MIN
    return int(x)


def as_identifier(x):
    if isinstance(x, str):
        return x.encode("utf-8")
    if isinstance(x, (bytes, bytearray)):
        return bytes(x)
    raise TypeError(f"not an identifier: {x!r}")


def as_map(mapping, convert_value):
    """Keys become bytes; when two keys give the same bytes the first one stays."""
    result = {}
    for key, value in mapping.items():
        key = as_identifier(key)
        if key not in result:
            result[key] = convert_value(value)
    return result


def as_pairs(pairs):
    return [(as_identifier(voter), int(utility)) for voter, utility in pairs]


def lookup(mapping, key):
    """A map read that fails on a missing key the way the module reports it."""
    if key not in mapping:
        raise IndexError("_Map_base::at")
    return mapping[key]


def as_result(outcome):
    return [project.decode("utf-8") for project in outcome]


def break_ties(cost, total_utility, choices):
    """Cheapest first, then greatest total utility, then earliest in choices."""
    cost = as_map(cost, float)
    total_utility = as_map(total_utility, int)
    choices = [as_identifier(c) for c in choices]
    return _break_ties(cost, total_utility, choices).decode("utf-8")


def _break_ties(cost, total_utility, choices):
    if not choices:
        raise ValueError("break_ties needs at least one choice")
    costs = [lookup(cost, c) for c in choices]
    least = costs[0]
    for c in costs[1:]:
        if c < least:
            least = c
    choices = [p for p, c in zip(choices, costs) if c == least]
    if not choices:
        raise ValueError("break_ties: the first choice has no comparable cost")
    utilities = [lookup(total_utility, p) for p in choices]
    greatest = max(utilities)
    return choices[utilities.index(greatest)]


def equal_shares_utils(voters, projects, cost, approvers_utilities, total_utility, total_budget):
    args = _normalise(voters, projects, cost, approvers_utilities, total_utility, total_budget)
    return as_result(_rule(*args))


def _normalise(voters, projects, cost, approvers_utilities, total_utility, total_budget):
    return (
        [as_identifier(v) for v in voters],
        [as_identifier(p) for p in projects],
        as_map(cost, float),
        as_map(approvers_utilities, as_pairs),
        as_map(total_utility, int),
        float(total_budget),
    )


def _candidates(projects, cost, approvers_utilities):
    """Projects the rule can ever fund, once each, in order of first listing.

    Raises for a missing key exactly where the rule's setup would.
    """
    admitted = []
    for p in projects:
        if not lookup(cost, p) > 0.0:
            continue
        if not lookup(approvers_utilities, p):
            continue
        if p not in admitted:
            admitted.append(p)
    return admitted


def _rule(voters, projects, cost, approvers_utilities, total_utility, total_budget):
    budget = {}
    if voters:
        share = ieee_div(total_budget, len(voters))
        for v in voters:
            budget[v] = share

    # Dict order is the order of first listing, which is the tie order
    # among equal stored values.
    stored = {}
    for p in _candidates(projects, cost, approvers_utilities):
        stored[p] = lookup(total_utility, p)
    _refuse_malformed(stored, approvers_utilities, total_budget)

    result = []
    while stored:
        # sorted() is stable, so equal stored values keep their listing order.
        candidates = sorted(stored, key=lambda p: stored[p], reverse=True)
        best = 0.0
        best_list = []
        unaffordable = []
        for p in candidates:
            if best > stored[p]:
                break
            pairs = approvers_utilities[p]
            available = 0.0
            for voter, _ in pairs:
                available += budget.get(voter, 0.0)
            if cost[p] > available:
                unaffordable.append(p)
                continue
            max_payment = _max_payment(cost[p], pairs, total_utility[p], budget)
            if max_payment is None:
                continue
            effective = ieee_div(cost[p], max_payment)
            stored[p] = truncate_to_int64(effective)
            if effective > best:
                best = effective
                best_list = [p]
            elif effective == best:
                best_list.append(p)
        for p in unaffordable:
            del stored[p]
        if not best_list:
            break
        winner = _break_ties(cost, total_utility, best_list)
        result.append(winner)
        del stored[winner]
        _charge(approvers_utilities[winner], ieee_div(cost[winner], best), budget)
    return result


def _quoted(identifier):
    """An identifier in quotes, bytes outside printable ASCII escaped."""
    text = ""
    for byte in identifier:
        if byte < 0x20 or byte >= 0x7F:
            text += f"\\x{byte:02x}"
        else:
            text += ("\\" if chr(byte) in "'\\" else "") + chr(byte)
    return f"'{text}'"


def _refuse_malformed(candidates, approvers_utilities, total_budget):
    """A voter listed twice for one candidate would bring its money twice, and
    a NaN budget makes every project look affordable: both are refused."""
    for p in candidates:
        supporters = [voter for voter, _ in approvers_utilities[p]]
        if len(set(supporters)) != len(supporters):
            raise ValueError(f"approvers_utilities[{_quoted(p)}] lists a voter more than once")
    if math.isnan(total_budget):
        raise ValueError("total_budget is NaN")


def _work_list(pairs, budget):
    """Pairs by budget per unit of utility; undefined quotients go last."""
    def key(pair):
        voter, utility = pair
        quotient = ieee_div(budget.get(voter, 0.0), float(utility))
        if math.isnan(quotient):
            return (1, 0.0)
        return (0, quotient)

    return sorted(pairs, key=key)


def _max_payment(project_cost, pairs, project_total, budget):
    """Payment per unit of utility at which the walk stops, or None if it never does."""
    denominator = float(project_total)
    paid = 0.0
    for voter, utility in _work_list(pairs, budget):
        max_payment = ieee_div(project_cost - paid, denominator)
        held = budget.get(voter, 0.0)
        if float(utility) * max_payment > held:
            paid = paid + held
            denominator = denominator - float(utility)
        else:
            return max_payment
    return None


def _charge(pairs, price, budget):
    for voter, utility in pairs:
        held = budget.get(voter, 0.0)
        payment = float(utility) * price
        if payment > held:
            payment = held
        budget[voter] = held - payment


def _outcome_cost(outcome, cost):
    total = 0.0
    for p in outcome:
        total += lookup(cost, p)
    return total


def _float_trunc(x):
    if math.isinf(x):
        return x
    return float(math.trunc(x))


def _float_ceil(x):
    if math.isinf(x):
        return x
    return float(math.ceil(x))


def equal_shares_add1(voters, projects, cost, approvers_utilities, total_utility, total_budget,
                      *, max_runs=None):
    voters, projects, cost, approvers_utilities, total_utility, total_budget = _normalise(
        voters, projects, cost, approvers_utilities, total_utility, total_budget)
    runs = 0

    def run(budget):
        nonlocal runs
        if max_runs is not None and runs >= max_runs:
            raise TooManyRuns(f"more than {max_runs} runs of the fixed-budget rule")
        runs += 1
        return _rule(voters, projects, cost, approvers_utilities, total_utility, budget)

    current = run(total_budget)
    n = len(voters)
    if n == 0:
        return as_result(current)
    share = ieee_div(total_budget, n)
    if math.isnan(share):
        return as_result(current)
    whole = _float_trunc(share)
    virtual = float(n) * whole

    admitted = _candidates(projects, cost, approvers_utilities)
    funded_at_most = 0.0
    for p in admitted:
        funded_at_most += cost[p]
    enough_share = 4.0 * funded_at_most

    # When even every fundable project together leaves room for one the rule
    # never funds, no outcome can become exhaustive: stepping would not end,
    # so jump straight to a share that covers everything. An outcome sums
    # its costs in its own order, which can round above the listing-order
    # sum: allow two units of roundoff per admitted project and one more.
    any_outcome_cost = funded_at_most * (1.0 + 2.0 * (len(admitted) + 1.0) * 2.0 ** -53)
    if any_outcome_cost <= total_budget and any(
            p not in admitted and any_outcome_cost + cost[p] <= total_budget for p in projects):
        if math.isinf(whole) or math.isinf(enough_share):
            return as_result(run(math.inf))
        steps = max(1.0, _float_ceil(enough_share) - whole)
        return as_result(run(float(n) * (whole + steps)))

    while True:
        current_cost = _outcome_cost(current, cost)
        if not any(p not in current and current_cost + cost[p] <= total_budget for p in projects):
            return as_result(current)
        if ieee_div(virtual, n) >= enough_share:
            return as_result(current)
        # Beyond 2**53 a step no longer adds exactly n (or nothing at all).
        if (virtual + float(n)) - virtual != float(n):
            return as_result(current)
        virtual = virtual + float(n)
        following = run(virtual)
        if _outcome_cost(following, cost) <= total_budget:
            current = following
        else:
            return as_result(current)
