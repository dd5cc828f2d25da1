"""Seeded random elections for comparing the module with the reference model.

Each generator takes a random.Random and returns the six positional
arguments (voters, projects, cost, approvers_utilities, total_utility,
total_budget). Sizes stay small so that one instance runs in milliseconds,
and costs stay small against the budget so that the add-one completion
reaches its end in a modest number of steps.
"""

import math

INT64_MIN = -(2**63)
INT64_MAX = 2**63 - 1


def _names(prefix, count):
    return [f"{prefix}{i}" for i in range(count)]


def _supporters(rng, voters):
    chosen = rng.sample(voters, rng.randint(1, len(voters)))
    rng.shuffle(chosen)
    return chosen


def tie_free(rng):
    """Distinct irregular costs and large random utilities: ties are practically impossible."""
    voters = _names("v", rng.randint(1, 12))
    projects = _names("p", rng.randint(1, 8))
    costs = set()
    while len(costs) < len(projects):
        costs.add(rng.uniform(1.0, 10.0))
    cost = dict(zip(projects, rng.sample(sorted(costs), len(costs))))
    approvers = {}
    total = {}
    for p in projects:
        pairs = [(v, rng.randint(1, 10**6)) for v in _supporters(rng, voters)]
        approvers[p] = pairs
        total[p] = sum(u for _, u in pairs)
    budget = rng.uniform(0.3, 1.5) * sum(cost.values())
    return voters, projects, cost, approvers, total, budget


def tie_heavy(rng):
    """Small integer costs and utilities drawn from a few templates, so that
    effective vote counts, costs and total utilities often coincide."""
    voters = _names("v", rng.randint(1, 12))
    projects = _names("p", rng.randint(1, 8))
    templates = [
        (rng.randint(1, 6), rng.randint(1, 3), rng.randint(1, min(3, len(voters))))
        for _ in range(rng.randint(1, 3))
    ]
    cost = {}
    approvers = {}
    total = {}
    for p in projects:
        price, utility, supporters = rng.choice(templates)
        if rng.random() < 0.3:
            utility = rng.randint(1, 3)
        pairs = [(v, utility) for v in rng.sample(voters, supporters)]
        cost[p] = price
        approvers[p] = pairs
        total[p] = sum(u for _, u in pairs)
    budget = rng.choice([
        rng.randint(1, 2 * sum(cost.values())),
        len(voters) * rng.randint(1, 12),
        float(sum(cost.values())),
    ])
    return voters, projects, cost, approvers, total, budget


def _is_utf8(raw):
    try:
        raw.decode("utf-8")
    except UnicodeDecodeError:
        return False
    return True


def _identifier(rng, raw):
    """One name in any of the forms the module accepts for an identifier."""
    form = rng.random()
    if form < 0.6 and _is_utf8(raw):
        return raw.decode("utf-8")
    if form < 0.8:
        return raw
    return bytearray(raw)


def _key(rng, raw):
    """A map key naming raw: bytearray is unhashable, so str or bytes only."""
    if rng.random() < 0.7 and _is_utf8(raw):
        return raw.decode("utf-8")
    return raw


def _awkward_cost(rng):
    kind = rng.random()
    if kind < 0.55:
        return float(rng.randint(1, 8))
    if kind < 0.7:
        return rng.uniform(0.5, 8.0)
    if kind < 0.8:
        return rng.choice([0.0, -0.0])
    if kind < 0.9:
        return -float(rng.randint(1, 5))
    if kind < 0.985:
        return math.nan
    return math.inf


def _awkward_utility(rng):
    """Mostly small, sometimes zero or negative, rarely so large that the
    conversion to double rounds it."""
    if rng.random() < 0.05:
        return rng.choice([2**53 + 1, 2**62 + 1, -(2**62) - 1])
    return rng.choice([1, 1, 2, 3, 5, 0, -1, -2])


def _awkward_budget(rng, cost):
    fundable = sum(c for c in cost.values() if c > 0 and c != math.inf)
    kind = rng.random()
    if kind < 0.6:
        return rng.uniform(0.0, 2.0) * max(fundable, 1.0)
    if kind < 0.7:
        return 0.0
    if kind < 0.8:
        return -rng.uniform(0.0, 10.0)
    if kind < 0.9:
        return float(rng.randint(0, 3 * max(int(fundable), 1)))
    return rng.choice([math.inf, -math.inf, math.nan, 1e300])


def awkward(rng):
    """Inputs outside the tidy domain: supporters absent from the voters,
    duplicate voters and projects, costs of zero, below zero or NaN, zero and
    negative utilities, totals unequal to the sum of utilities, non-positive
    budgets, identifiers as str, bytes or bytearray (some not valid UTF-8),
    map keys that collide as bytes, and map entries missing where they are
    never read. Now and then an entry is missing where it is read."""
    voter_names = [v.encode() for v in _names("v", rng.randint(0, 8))]
    stranger_names = [s.encode() for s in _names("s", rng.randint(0, 2))]
    project_names = [p.encode() for p in _names("p", rng.randint(1, 8))]
    if rng.random() < 0.2:
        project_names[-1] = "\u00e9p".encode()
    if rng.random() < 0.1:
        project_names[0] = b"\xffp"

    voters = [_identifier(rng, v) for v in voter_names]
    for _ in range(rng.randint(0, 3)):
        if voter_names:
            voters.append(_identifier(rng, rng.choice(voter_names)))
    rng.shuffle(voters)

    listed = list(project_names)
    for _ in range(rng.randint(0, 2)):
        listed.append(rng.choice(project_names))
    rng.shuffle(listed)
    projects = [_identifier(rng, p) for p in listed]

    supporters_pool = voter_names + stranger_names
    cost = {}
    approvers = {}
    total = {}
    for p in project_names:
        c = _awkward_cost(rng)
        first_key = _key(rng, p)
        cost[first_key] = c
        if isinstance(first_key, str) and rng.random() < 0.1:
            cost[p] = _awkward_cost(rng)
        pairs = []
        if supporters_pool and rng.random() < 0.9:
            for v in rng.choices(supporters_pool, k=rng.randint(1, 4)):
                pairs.append((_identifier(rng, v), _awkward_utility(rng)))
        read_pairs = c > 0
        if not read_pairs and rng.random() < 0.5:
            continue
        approvers[_key(rng, p)] = pairs
        read_total = read_pairs and bool(pairs)
        if not read_total and rng.random() < 0.5:
            continue
        utility_sum = sum(u for _, u in pairs)
        stated = rng.choice([utility_sum, utility_sum, utility_sum + rng.randint(-3, 3), 0, -1])
        total[_key(rng, p)] = min(max(stated, INT64_MIN), INT64_MAX)

    if rng.random() < 0.04:
        victim = rng.choice(project_names)
        mapping = rng.choice((cost, approvers, total))
        for k in list(mapping):
            if (k.encode() if isinstance(k, str) else k) == victim:
                del mapping[k]
    budget = _awkward_budget(rng, cost)
    return voters, projects, cost, approvers, total, budget


FAMILIES = {
    "tie_free": tie_free,
    "tie_heavy": tie_heavy,
    "awkward": awkward,
}


# Families for the completion that skips steps: elections whose completion
# takes many whole steps, and elections built to sit on the edges where a
# skip could go wrong.

def long_completion(rng):
    """Projects backed by a few voters among many: each voter's share must
    grow many whole steps before such a project becomes affordable, while
    the budget would fit several of them."""
    voters = _names("v", rng.randint(3, 12))
    projects = _names("p", rng.randint(2, 9))
    cost = {p: float(rng.randint(20, 400)) for p in projects}
    approvers = {}
    total = {}
    for p in projects:
        backers = rng.sample(voters, rng.randint(1, 3))
        pairs = [(v, rng.randint(1, 4)) for v in backers]
        approvers[p] = pairs
        total[p] = sum(u for _, u in pairs)
    budget = rng.uniform(0.3, 0.9) * sum(cost.values())
    return voters, projects, cost, approvers, total, budget


def budget_edges(rng):
    """Affordability that flips exactly at a whole share; pairs of projects
    whose effective votes tie at every share; voters charged differently, so
    that their budgets, and their order in payment walks, cross as the share
    grows."""
    voters = _names("v", rng.randint(3, 10))
    projects = []
    cost = {}
    approvers = {}
    for p in _names("p", rng.randint(2, 7)):
        supporters = rng.sample(voters, rng.randint(1, min(4, len(voters))))
        kind = rng.randrange(3)
        if kind == 0:
            # Exactly affordable once every supporter holds a whole `share`.
            cost[p] = float(len(supporters) * rng.randint(3, 40))
            approvers[p] = [(v, 1) for v in supporters]
        elif kind == 1:
            # A twin with its own supporters and the same cost and utilities.
            twin = p + "t"
            others = [v for v in voters if v not in supporters] or supporters
            size = min(len(supporters), len(others))
            utilities = [rng.randint(1, 3) for _ in range(size)]
            cost[p] = cost[twin] = float(rng.randint(10, 200))
            approvers[p] = list(zip(supporters[:size], utilities))
            approvers[twin] = list(zip(others[:size], utilities))
            projects.append(twin)
        else:
            cost[p] = float(rng.randint(10, 300))
            approvers[p] = [(v, rng.randint(1, 9)) for v in supporters]
        projects.append(p)
    rng.shuffle(projects)
    total = {p: sum(u for _, u in pairs) for p, pairs in approvers.items()}
    budget = float(round(rng.uniform(0.3, 0.9) * sum(cost.values())))
    return voters, projects, cost, approvers, total, budget


STEPPING_FAMILIES = {
    **FAMILIES,
    "long_completion": long_completion,
    "budget_edges": budget_edges,
}
