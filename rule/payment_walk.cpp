#include "payment_walk.hpp"

#include <algorithm>

namespace quorin::detail {
namespace {

// Batches of positive quotients are cut this many times before the rest
// is simply sorted, which bounds the work of an unlucky walk.
constexpr int max_batches = 8;

struct Walk {
    const Election& election;
    const std::vector<double>& budget;
    const double cost;
    double paid;
    double denominator;

    double payment() const { return (cost - paid) / denominator; }

    // The maximum payment if this supporter can bear a full share;
    // otherwise it gives its whole budget and the walk goes on.
    std::optional<double> visit(std::size_t pair) {
        const double utility = election.pair_utility[pair];
        const double voter_budget = budget[election.pair_voter[pair]];
        const double share = payment();
        if (utility * share > voter_budget) {
            paid = paid + voter_budget;
            denominator = denominator - utility;
            return std::nullopt;
        }
        return share;
    }
};

bool walks_before(const WalkEntry& a, const WalkEntry& b) {
    return a.quotient < b.quotient || (a.quotient == b.quotient && a.position < b.position);
}

std::optional<double> visit_in_pair_order(const std::vector<std::size_t>& pairs, Walk& walk) {
    for (std::size_t pair : pairs) {
        if (const auto payment = walk.visit(pair)) {
            return payment;
        }
    }
    return std::nullopt;
}

// Walks usually stop after a short prefix, so the entries are not sorted
// whole: each batch is the entries whose quotient lies below the current
// payment (those cannot bear it, in well-formed input), and only the batch
// is sorted. Every batch holds entries that precede all entries left, so
// the visiting order is exactly the sorted order.
std::optional<double> visit_in_quotient_order(std::vector<WalkEntry>& entries, Walk& walk) {
    auto next = entries.begin();
    const auto end = entries.end();
    for (int batch = 0; next != end; ++batch) {
        auto batch_end = end;
        if (batch == max_batches) {
            std::sort(next, end, walks_before);
        } else {
            const double payment = walk.payment();
            batch_end = std::partition(
                next, end, [payment](const WalkEntry& e) { return e.quotient < payment; });
            if (batch_end == next) {
                std::iter_swap(next, std::min_element(next, end, walks_before));
                batch_end = next + 1;
            } else {
                std::sort(next, batch_end, walks_before);
            }
        }
        for (; next != batch_end; ++next) {
            if (const auto payment = walk.visit(next->position)) {
                return payment;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<double> maximum_payment(const Election& election, const Candidate& candidate,
                                      const std::vector<double>& budget, WalkBuffers& buffers) {
    // Zero quotients (exhausted budgets, mostly) are all equal: they need no
    // sorting, only pair order.
    buffers.negative.clear();
    buffers.zero.clear();
    buffers.positive.clear();
    buffers.undefined.clear();
    for (std::size_t i = candidate.first_pair; i < candidate.end_pair; ++i) {
        const double quotient = budget[election.pair_voter[i]] / election.pair_utility[i];
        if (quotient > 0) {
            buffers.positive.push_back({quotient, i});
        } else if (quotient == 0) {
            buffers.zero.push_back(i);
        } else if (quotient < 0) {
            buffers.negative.push_back({quotient, i});
        } else {
            buffers.undefined.push_back(i);
        }
    }

    Walk walk{election, budget, candidate.cost, 0.0, static_cast<double>(candidate.total_utility)};
    if (const auto payment = visit_in_quotient_order(buffers.negative, walk)) {
        return payment;
    }
    if (const auto payment = visit_in_pair_order(buffers.zero, walk)) {
        return payment;
    }
    if (const auto payment = visit_in_quotient_order(buffers.positive, walk)) {
        return payment;
    }
    return visit_in_pair_order(buffers.undefined, walk);
}

}  // namespace quorin::detail
