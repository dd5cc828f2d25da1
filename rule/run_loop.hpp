// The iterations of one fixed-budget run in plain doubles, written once over
// a policy that examines candidates and charges winners: the rule's own run
// does just that, and a run that also records what each examination found
// and who paid what can wrap it without touching the loop.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
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

// The policy has set every voter's starting budget, and supplies
// examine(candidate) -> Examination and charge(winner, price);
// `interruption` is polled every few thousand supporters examined.
template <class Policy>
void run_iterations(const Election& election, Policy& policy, RunState& rs,
                    std::vector<std::uint32_t>& winners, const Interruption& interruption) {
    const auto& candidates = election.candidates;
    winners.clear();
    rs.stored_value.resize(candidates.size());
    rs.scan_order.resize(candidates.size());
    rs.moved.assign(candidates.size(), 0);
    for (std::uint32_t c = 0; c < candidates.size(); ++c) {
        rs.stored_value[c] = candidates[c].total_utility;
        rs.scan_order[c] = c;
    }
    const auto scans_before = [&](std::uint32_t a, std::uint32_t b) {
        const std::int64_t va = rs.stored_value[a];
        const std::int64_t vb = rs.stored_value[b];
        return va != vb ? va > vb : a < b;
    };
    std::sort(rs.scan_order.begin(), rs.scan_order.end(), scans_before);

    std::size_t walked = 0;  // supporters since the last poll
    while (!rs.scan_order.empty()) {
        double best_votes = 0.0;
        rs.best.clear();
        rs.unaffordable.clear();
        rs.examined.clear();
        for (std::uint32_t c : rs.scan_order) {
            if (exceeds(best_votes, rs.stored_value[c])) {
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
                rs.unaffordable.push_back(c);
                continue;
            }
            if (!examination.maximum_payment) {
                continue;
            }
            const double votes = candidate.cost / *examination.maximum_payment;
            rs.stored_value[c] = stored_value_of(votes);
            rs.examined.push_back(c);
            if (votes > best_votes) {
                rs.best.assign(1, c);
                best_votes = votes;
            } else if (votes == best_votes) {
                rs.best.push_back(c);
            }
        }
        if (rs.best.empty()) {
            break;
        }

        const std::uint32_t winner = rs.best[preferred_position(
            rs.best, [&](std::uint32_t c) { return candidates[c].cost; },
            [&](std::uint32_t c) { return candidates[c].total_utility; })];
        winners.push_back(winner);
        policy.charge(candidates[winner], candidates[winner].cost / best_votes);

        // Only the examined candidates changed their stored values: the
        // others keep their order, and the few revalued ones are sorted and
        // merged back in, rather than sorting everything each iteration.
        for (std::uint32_t c : rs.unaffordable) {
            rs.moved[c] = 1;
        }
        for (std::uint32_t c : rs.examined) {
            rs.moved[c] = 1;
        }
        rs.kept.clear();
        for (std::uint32_t c : rs.scan_order) {
            if (!rs.moved[c]) {
                rs.kept.push_back(c);
            }
        }
        rs.examined.erase(std::remove(rs.examined.begin(), rs.examined.end(), winner),
                          rs.examined.end());
        for (std::uint32_t c : rs.examined) {
            rs.moved[c] = 0;
        }
        std::sort(rs.examined.begin(), rs.examined.end(), scans_before);
        rs.scan_order.resize(rs.kept.size() + rs.examined.size());
        std::merge(rs.kept.begin(), rs.kept.end(), rs.examined.begin(), rs.examined.end(),
                   rs.scan_order.begin(), scans_before);
    }
}

}  // namespace quorin::detail
