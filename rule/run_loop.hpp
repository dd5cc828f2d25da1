// The iterations of one fixed-budget run in plain doubles, written once over
// a policy that examines candidates and charges winners: the rule's own run
// does just that, and a run that also records what each examination found
// and who paid what can wrap it without touching the loop.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

#include "election.hpp"
#include "interruption.hpp"
#include "payment_walk.hpp"
#include "tie_break.hpp"

namespace quorin::detail {

inline constexpr double two_to_63 = 0x1p63;

// Truncation toward zero that saturates at the int64 limits; NaN gives 0.
inline std::int64_t stored_value_of(double effective_votes) {
    if (std::isnan(effective_votes)) {
        return 0;
    }
    if (effective_votes >= two_to_63) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (effective_votes <= -two_to_63) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(effective_votes);
}

// value > stored, exactly: converting stored to double would round it
// above 2^53.
inline bool exceeds(double value, std::int64_t stored) {
    if (std::isnan(value)) {
        return false;
    }
    if (value >= two_to_63) {
        return true;
    }
    if (value < -two_to_63) {
        return false;
    }
    const double whole = std::floor(value);
    const auto whole_int = static_cast<std::int64_t>(whole);
    return whole_int > stored || (whole_int == stored && value != whole);
}

// What a run keeps per candidate, reused across iterations and runs.
struct RunState {
    std::vector<std::int64_t> stored_value;
    // Candidates still running, by stored value, greatest first, equal
    // values in listing order.
    std::vector<std::uint32_t> scan_order;
    std::vector<std::uint32_t> kept;  // while the scan order is rebuilt
    std::vector<std::uint32_t> examined;
    std::vector<std::uint32_t> best;
    std::vector<std::uint32_t> unaffordable;
    std::vector<char> moved;  // per candidate: dropped or revalued
};

// Orders the scan: greater stored value first, equal values in listing
// order. A function object, so that sorting and merging inline it.
struct ScansBefore {
    const std::vector<std::int64_t>& stored_value;

    bool operator()(std::uint32_t a, std::uint32_t b) const {
        const std::int64_t va = stored_value[a];
        const std::int64_t vb = stored_value[b];
        return va != vb ? va > vb : a < b;
    }
};

// What run_iterations asks of its policy, which has set every voter's
// starting budget before the run: `examine(candidate)` gives the
// Examination of a candidate at the current budgets, and
// `charge(winner, price)` makes the winner's supporters pay for it.
template <class Policy, class = void>
struct IsRunPolicy : std::false_type {};
template <class Policy>
struct IsRunPolicy<Policy, std::void_t<decltype(std::declval<Policy&>().charge(
                               std::declval<const Candidate&>(), std::declval<double>()))>>
    : std::is_same<decltype(std::declval<Policy&>().examine(std::declval<const Candidate&>())),
                   Examination> {};

// After `winner` is bought, only the candidates examined or found
// unaffordable in the iteration changed their stored values: the others
// keep their order, and the few revalued ones are sorted and merged back
// in, rather than sorting everything each iteration. Unaffordable ones and
// the winner leave the scan.
inline void rebuild_scan_order(RunState& state, std::uint32_t winner) {
    const ScansBefore scans_before{state.stored_value};
    for (std::uint32_t c : state.unaffordable) {
        state.moved[c] = 1;
    }
    for (std::uint32_t c : state.examined) {
        state.moved[c] = 1;
    }
    state.kept.clear();
    for (std::uint32_t c : state.scan_order) {
        if (!state.moved[c]) {
            state.kept.push_back(c);
        }
    }
    state.examined.erase(std::remove(state.examined.begin(), state.examined.end(), winner),
                         state.examined.end());
    for (std::uint32_t c : state.examined) {
        state.moved[c] = 0;
    }
    std::sort(state.examined.begin(), state.examined.end(), scans_before);
    state.scan_order.resize(state.kept.size() + state.examined.size());
    std::merge(state.kept.begin(), state.kept.end(), state.examined.begin(), state.examined.end(),
               state.scan_order.begin(), scans_before);
}

// `interruption` is polled every few thousand supporters examined.
template <class Policy>
void run_iterations(const Election& election, Policy& policy, RunState& state,
                    std::vector<std::uint32_t>& winners, const Interruption& interruption) {
    static_assert(IsRunPolicy<Policy>::value,
                  "a run policy offers Examination examine(const Candidate&) and "
                  "charge(const Candidate&, double)");
    const auto& candidates = election.candidates;
    winners.clear();
    state.stored_value.resize(candidates.size());
    state.scan_order.resize(candidates.size());
    state.moved.assign(candidates.size(), 0);
    for (std::uint32_t c = 0; c < candidates.size(); ++c) {
        state.stored_value[c] = candidates[c].total_utility;
        state.scan_order[c] = c;
    }
    std::sort(state.scan_order.begin(), state.scan_order.end(), ScansBefore{state.stored_value});

    std::size_t walked = 0;  // supporters since the last poll
    while (!state.scan_order.empty()) {
        double best_votes = 0.0;
        state.best.clear();
        state.unaffordable.clear();
        state.examined.clear();
        for (std::uint32_t c : state.scan_order) {
            if (exceeds(best_votes, state.stored_value[c])) {
                break;
            }
            const Candidate& candidate = candidates[c];
            walked += candidate.end_pair - candidate.first_pair;
            if (walked >= supporters_between_polls) {
                walked = 0;
                interruption.poll();
            }
            const auto examination = policy.examine(candidate);
            if (!examination.affordable) {
                state.unaffordable.push_back(c);
                continue;
            }
            if (!examination.maximum_payment) {
                continue;
            }
            const double votes = candidate.cost / *examination.maximum_payment;
            state.stored_value[c] = stored_value_of(votes);
            state.examined.push_back(c);
            if (votes > best_votes) {
                state.best.assign(1, c);
                best_votes = votes;
            } else if (votes == best_votes) {
                state.best.push_back(c);
            }
        }
        if (state.best.empty()) {
            break;
        }

        const std::uint32_t winner = state.best[preferred_position(
            state.best, [&](std::uint32_t c) { return candidates[c].cost; },
            [&](std::uint32_t c) { return candidates[c].total_utility; })];
        winners.push_back(winner);
        policy.charge(candidates[winner], candidates[winner].cost / best_votes);
        rebuild_scan_order(state, winner);
    }
}

}  // namespace quorin::detail
