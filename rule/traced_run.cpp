#include "traced_run.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

namespace quorin::detail {
namespace {

// A decision is certain only when its two sides stay this many error bounds
// apart. The bounds add one unit of roundoff per operation, so they grow
// with the number of terms summed (a project's supporters, the charges of
// earlier iterations); the factor covers shares between the two runs that
// are compared, where nothing was computed.
constexpr double safety_factor = 8.0;

struct TracedExamination {
    bool affordable;
    std::optional<Tracked> maximum_payment;
};

bool walks_before(const TracedEntry& a, const TracedEntry& b) {
    const bool a_undefined = std::isnan(a.quotient.value);
    const bool b_undefined = std::isnan(b.quotient.value);
    if (a_undefined != b_undefined) {
        return b_undefined;
    }
    if (!a_undefined && a.quotient.value != b.quotient.value) {
        return a.quotient.value < b.quotient.value;
    }
    return a.position < b.position;
}

struct TracingRun {
    using Number = Tracked;

    const Election& election;
    const double share;
    TraceWorkspace& ws;
    RunTrace& trace;

    static Tracked zero() { return Tracked::constant(0.0); }

    // Checks that `a` and `b` compare now as they will for every share
    // until trace.flip_share, and moves that estimate closer if the gap
    // between them is closing.
    void settle(const Tracked& a, const Tracked& b) {
        if (!a.varies() && !b.varies()) {
            return;
        }
        // An infinite constant compares alike with every finite value, and
        // the values compared stay finite between two finite runs.
        if ((!a.varies() && std::isinf(a.value) && std::isfinite(b.value)) ||
            (!b.varies() && std::isinf(b.value) && std::isfinite(a.value))) {
            return;
        }
        const Tracked gap = a - b;
        const double clearance = std::fabs(gap.value) - safety_factor * gap.error;
        if (!std::isfinite(gap.value) || !std::isfinite(gap.slope) || !(clearance > 0)) {
            trace.certain = false;
            return;
        }
        if (gap.slope != 0 && (gap.value > 0) != (gap.slope > 0)) {
            trace.flip_share = std::min(trace.flip_share, share + clearance / std::fabs(gap.slope));
        }
    }

    void note(std::uint32_t word) {
        if (trace.reference == nullptr) {
            trace.decisions.push_back(word);
            return;
        }
        const std::vector<std::uint32_t>& expected = trace.reference->decisions;
        trace.matches = trace.matches && trace.compared < expected.size() &&
                        expected[trace.compared] == word;
        ++trace.compared;
    }

    bool decide(bool result) {
        note(result ? 1 : 0);
        return result;
    }

    bool greater(const Tracked& a, const Tracked& b) {
        settle(a, b);
        return decide(a.value > b.value);
    }

    bool equal(const Tracked& a, const Tracked& b) {
        settle(a, b);
        return decide(a.value == b.value);
    }

    static Tracked votes(double cost, const Tracked& payment) { return Tracked::constant(cost) / payment; }
    static Tracked price(double cost, const Tracked& best) { return Tracked::constant(cost) / best; }

    // The stored value holds while the votes stay between the integers
    // around them that would truncate differently.
    std::int64_t stored(const Tracked& votes) {
        const std::int64_t value = stored_value_of(votes.value);
        const auto bits = static_cast<std::uint64_t>(value);
        note(static_cast<std::uint32_t>(bits));
        note(static_cast<std::uint32_t>(bits >> 32));
        if (!votes.varies()) {
            return value;
        }
        if (!(std::fabs(votes.value) < 0x1p52)) {
            trace.certain = false;
            return value;
        }
        const double whole = static_cast<double>(value);
        const double lower = votes.value >= 0 ? whole : whole - 1;
        const double upper = votes.value >= 0 ? whole + 1 : whole;
        if (lower != 0) {
            settle(votes, Tracked::constant(lower));
        }
        if (upper != 0) {
            settle(votes, Tracked::constant(upper));
        }
        return value;
    }

    bool exceeds(const Tracked& best, std::int64_t stored) {
        if (best.varies()) {
            if (std::fabs(static_cast<double>(stored)) < 0x1p52) {
                settle(best, Tracked::constant(static_cast<double>(stored)));
            } else {
                trace.certain = false;
            }
        }
        return decide(detail::exceeds(best.value, stored));
    }

    // `a` walks before `b` now; checks that it does at every share nearby.
    void settle_order(const TracedEntry& a, const TracedEntry& b) {
        if (!a.quotient.varies() && !b.quotient.varies()) {
            return;
        }
        if (a.quotient.value == b.quotient.value) {
            // Equal at every share only when computed alike.
            if (ws.history[election.pair_voter[a.position]] != ws.history[election.pair_voter[b.position]] ||
                election.pair_utility[a.position] != election.pair_utility[b.position]) {
                trace.certain = false;
            }
            return;
        }
        settle(b.quotient, a.quotient);
    }

    TracedExamination examine(const Candidate& candidate) {
        Tracked available = Tracked::constant(0.0);
        for (std::size_t i = candidate.first_pair; i < candidate.end_pair; ++i) {
            available = available + ws.budget[election.pair_voter[i]];
        }
        if (greater(Tracked::constant(candidate.cost), available)) {
            return {false, std::nullopt};
        }

        ws.entries.clear();
        for (std::size_t i = candidate.first_pair; i < candidate.end_pair; ++i) {
            const std::uint32_t voter = election.pair_voter[i];
            const double utility = election.pair_utility[i];
            ws.entries.push_back({ws.budget[voter] / Tracked::constant(utility), i});
        }
        std::sort(ws.entries.begin(), ws.entries.end(), walks_before);

        Tracked denominator = Tracked::constant(static_cast<double>(candidate.total_utility));
        Tracked paid = Tracked::constant(0.0);
        std::optional<Tracked> maximum_payment;
        std::size_t visited = 0;
        for (; visited < ws.entries.size(); ++visited) {
            const TracedEntry& entry = ws.entries[visited];
            // Pair positions fit in 32 bits: their count is checked when
            // the election is prepared.
            note(static_cast<std::uint32_t>(entry.position));
            const Tracked utility = Tracked::constant(election.pair_utility[entry.position]);
            const Tracked& voter_budget = ws.budget[election.pair_voter[entry.position]];
            const Tracked payment = (Tracked::constant(candidate.cost) - paid) / denominator;
            if (!greater(utility * payment, voter_budget)) {
                maximum_payment = payment;
                break;
            }
            paid = paid + voter_budget;
            denominator = denominator - utility;
        }
        // The walk's order up to where it stopped, and nothing after it
        // able to move ahead.
        const std::size_t last = std::min(visited, ws.entries.size() - 1);
        for (std::size_t k = 1; k <= last; ++k) {
            settle_order(ws.entries[k - 1], ws.entries[k]);
        }
        for (std::size_t k = last + 1; k < ws.entries.size(); ++k) {
            settle_order(ws.entries[last], ws.entries[k]);
        }
        return {true, maximum_payment};
    }

    void charge(const Candidate& winner, const Tracked& price) {
        ws.charged_history.clear();
        for (std::size_t i = winner.first_pair; i < winner.end_pair; ++i) {
            const std::uint32_t voter = election.pair_voter[i];
            Tracked& voter_budget = ws.budget[voter];
            const double utility = election.pair_utility[i];
            const Tracked payment = Tracked::constant(utility) * price;
            if (greater(payment, voter_budget)) {
                // Paying all it holds leaves exactly nothing, at any share.
                const double left = voter_budget.value - voter_budget.value;
                voter_budget = std::isfinite(voter_budget.value) || !voter_budget.varies()
                                   ? Tracked::constant(left)
                                   : Tracked{left, 0.0, std::numeric_limits<double>::infinity()};
                ws.history[voter] = 0;
                continue;
            }
            voter_budget = voter_budget - payment;
            const auto [entry, is_new] =
                ws.charged_history.try_emplace({ws.history[voter], utility}, ws.histories);
            if (is_new) {
                ++ws.histories;
            }
            ws.history[voter] = entry->second;
        }
    }
};

}  // namespace

void trace_fixed_budget(const Election& election, double total_budget, TraceWorkspace& ws,
                        std::vector<std::uint32_t>& winners, RunTrace& trace,
                        const Interruption& interruption) {
    trace.decisions.clear();
    trace.compared = 0;
    trace.matches = true;
    trace.certain = true;
    trace.flip_share = std::numeric_limits<double>::infinity();

    // Listed voters start with the share (history 1); supporters missing
    // from the voters with nothing (history 0).
    const double share = total_budget / static_cast<double>(election.voter_count);
    ws.budget.assign(election.voter_slots, Tracked::constant(0.0));
    ws.history.assign(election.voter_slots, 0);
    std::fill_n(ws.budget.begin(), election.listed_voters,
                Tracked{share, 1.0, rounding_of(share)});
    std::fill_n(ws.history.begin(), election.listed_voters, 1);
    ws.histories = 2;

    TracingRun run{election, share, ws, trace};
    run_iterations(election, run, ws.state, winners, interruption);
}

}  // namespace quorin::detail