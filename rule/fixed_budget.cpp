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
    ws.scan_order.resize(candidates.size());
    ws.moved.assign(candidates.size(), 0);
    for (std::uint32_t c = 0; c < candidates.size(); ++c) {
        ws.stored_value[c] = candidates[c].total_utility;
        ws.scan_order[c] = c;
    }
    const auto scans_before = [&](std::uint32_t a, std::uint32_t b) {
        const std::int64_t va = ws.stored_value[a];
        const std::int64_t vb = ws.stored_value[b];
        return va != vb ? va > vb : a < b;
    };
    std::sort(ws.scan_order.begin(), ws.scan_order.end(), scans_before);

    while (!ws.scan_order.empty()) {
        double best_votes = 0.0;
        ws.best.clear();
        ws.unaffordable.clear();
        ws.examined.clear();
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
            ws.examined.push_back(c);
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

        const std::uint32_t winner = ws.best[preferred_position(
            ws.best, [&](std::uint32_t c) { return candidates[c].cost; },
            [&](std::uint32_t c) { return candidates[c].total_utility; })];
        winners.push_back(winner);
        charge(election, candidates[winner], candidates[winner].cost / best_votes, ws.budget);

        // Only the examined candidates changed their stored values: the
        // others keep their order, and the few revalued ones are sorted and
        // merged back in, rather than sorting everything each iteration.
        for (std::uint32_t c : ws.unaffordable) {
            ws.moved[c] = 1;
        }
        for (std::uint32_t c : ws.examined) {
            ws.moved[c] = 1;
        }
        ws.kept.clear();
        for (std::uint32_t c : ws.scan_order) {
            if (!ws.moved[c]) {
                ws.kept.push_back(c);
            }
        }
        ws.examined.erase(std::remove(ws.examined.begin(), ws.examined.end(), winner),
                          ws.examined.end());
        for (std::uint32_t c : ws.examined) {
            ws.moved[c] = 0;
        }
        std::sort(ws.examined.begin(), ws.examined.end(), scans_before);
        ws.scan_order.resize(ws.kept.size() + ws.examined.size());
        std::merge(ws.kept.begin(), ws.kept.end(), ws.examined.begin(), ws.examined.end(),
                   ws.scan_order.begin(), scans_before);
    }
}

}  // namespace quorin::detail
