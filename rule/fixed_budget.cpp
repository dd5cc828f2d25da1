#include "fixed_budget.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "payment_walk.hpp"
#include "tie_break.hpp"

namespace quorin::detail {
namespace {

constexpr double two_to_63 = 9223372036854775808.0;

// Truncation toward zero that saturates at the int64 limits; NaN gives 0.
std::int64_t stored_value_of(double effective_votes) {
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
bool exceeds(double value, std::int64_t stored) {
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

void charge(const Election& election, const Candidate& winner, double price,
            std::vector<double>& budget) {
    for (std::size_t i = winner.first_pair; i < winner.end_pair; ++i) {
        double& voter_budget = budget[election.pair_voter[i]];
        double payment = election.pair_utility[i] * price;
        if (payment > voter_budget) {
            payment = voter_budget;
        }
        voter_budget = voter_budget - payment;
    }
}

// Drops the marked candidates from the running, keeping listing order.
void drop_marked(std::vector<std::uint32_t>& remaining, const std::vector<char>& dropped) {
    remaining.erase(std::remove_if(remaining.begin(), remaining.end(),
                                   [&](std::uint32_t c) { return dropped[c] != 0; }),
                    remaining.end());
}

}  // namespace

void run_fixed_budget(const Election& election, double total_budget, Workspace& ws,
                      std::vector<std::uint32_t>& winners) {
    winners.clear();
    const auto& candidates = election.candidates;
    ws.budget.assign(election.voter_slots, 0.0);
    if (election.voter_count > 0) {
        const double share = total_budget / static_cast<double>(election.voter_count);
        std::fill_n(ws.budget.begin(), election.listed_voters, share);
    }
    ws.stored_value.resize(candidates.size());
    ws.remaining.resize(candidates.size());
    ws.dropped.assign(candidates.size(), 0);
    for (std::uint32_t c = 0; c < candidates.size(); ++c) {
        ws.stored_value[c] = candidates[c].total_utility;
        ws.remaining[c] = c;
    }

    while (!ws.remaining.empty()) {
        // Greatest stored value first; equal values in listing order.
        ws.scan_order = ws.remaining;
        std::sort(ws.scan_order.begin(), ws.scan_order.end(), [&](std::uint32_t a, std::uint32_t b) {
            const std::int64_t va = ws.stored_value[a];
            const std::int64_t vb = ws.stored_value[b];
            return va != vb ? va > vb : a < b;
        });

        double best_votes = 0.0;
        ws.best.clear();
        ws.unaffordable.clear();
        for (std::uint32_t c : ws.scan_order) {
            if (exceeds(best_votes, ws.stored_value[c])) {
                break;
            }
            const Candidate& candidate = candidates[c];
            const Examination examination = examine(election, candidate, ws.budget, ws.walk);
            if (!examination.affordable) {
                ws.unaffordable.push_back(c);
                continue;
            }
            if (!examination.maximum_payment) {
                continue;
            }
            const double votes = candidate.cost / *examination.maximum_payment;
            ws.stored_value[c] = stored_value_of(votes);
            if (votes > best_votes) {
                ws.best.assign(1, c);
                best_votes = votes;
            } else if (votes == best_votes) {
                ws.best.push_back(c);
            }
        }
        if (ws.best.empty()) {
            break;
        }
        for (std::uint32_t c : ws.unaffordable) {
            ws.dropped[c] = 1;
        }

        const std::uint32_t winner = ws.best[preferred_position(
            ws.best, [&](std::uint32_t c) { return candidates[c].cost; },
            [&](std::uint32_t c) { return candidates[c].total_utility; })];
        winners.push_back(winner);
        ws.dropped[winner] = 1;
        drop_marked(ws.remaining, ws.dropped);
        charge(election, candidates[winner], candidates[winner].cost / best_votes, ws.budget);
    }
}

}  // namespace quorin::detail
