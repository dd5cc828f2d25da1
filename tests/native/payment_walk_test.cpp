// The payment walk against the walk it must equal: every supporter sorted
// by budget / utility, equal quotients in pair order, undefined ones last,
// then visited one by one. The walk avoids sorting everything, and sorts
// large groups by the quotients' bits, so ties, zeros, negative, infinite
// and undefined quotients, and groups on both sides of the size where the
// sorting changes are drawn here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>
#include <random>
#include <vector>

#include "election.hpp"
#include "payment_walk.hpp"

namespace {

using quorin::detail::Election;
using quorin::detail::Examination;
using quorin::detail::WalkBuffers;

Examination reference_walk(const Election& election, const std::vector<double>& budget) {
    const auto& candidate = election.candidates[0];
    double available = 0.0;
    std::vector<std::size_t> order;
    for (std::size_t i = candidate.first_pair; i < candidate.end_pair; ++i) {
        available += budget[election.pair_voter[i]];
        order.push_back(i);
    }
    if (candidate.cost > available) {
        return {false, std::nullopt};
    }
    const auto quotient = [&](std::size_t i) {
        return budget[election.pair_voter[i]] / election.pair_utility[i];
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const double qa = quotient(a);
        const double qb = quotient(b);
        return !std::isnan(qa) && (std::isnan(qb) || qa < qb);
    });
    double paid = 0.0;
    auto denominator = static_cast<double>(candidate.total_utility);
    for (std::size_t i : order) {
        const double share = (candidate.cost - paid) / denominator;
        const double voter_budget = budget[election.pair_voter[i]];
        if (election.pair_utility[i] * share > voter_budget) {
            paid = paid + voter_budget;
            denominator = denominator - election.pair_utility[i];
            continue;
        }
        return {true, share};
    }
    return {true, std::nullopt};
}

// One candidate whose supporters' quotients come from a few values with
// full mantissas, each budget being value times utility (exact, as the
// utilities are powers of two): equal quotients are common, and among
// unequal utilities they are unequal budgets, whose order changes the sum.
struct DrawnWalk {
    Election election;
    std::vector<double> budget;
};

DrawnWalk draw(std::mt19937_64& random, std::size_t supporters, bool approval) {
    DrawnWalk drawn;
    Election& election = drawn.election;
    election.voter_count = election.listed_voters = election.voter_slots = supporters;
    std::vector<std::uint32_t> voters(supporters);
    std::iota(voters.begin(), voters.end(), 0U);
    std::shuffle(voters.begin(), voters.end(), random);
    std::int64_t total = 0;
    for (std::uint32_t voter : voters) {
        const double utility = approval ? 1.0 : std::ldexp(1.0, static_cast<int>(random() % 3));
        election.pair_voter.push_back(voter);
        election.pair_utility.push_back(utility);
        total += static_cast<std::int64_t>(utility);
    }
    std::uniform_real_distribution<double> uniform(0.0, 1000.0);
    std::vector<double> values;
    // Some a few units in the last place apart, so that every byte of the
    // quotient decides some order.
    for (int k = 0; k < 1 + static_cast<int>(random() % 8); ++k) {
        values.push_back(k > 0 && random() % 2 == 0
                             ? values[0] + std::ldexp(values[0], -52) * static_cast<double>(random() % 70000)
                             : uniform(random));
    }
    const double unusual[] = {0.0, -1.5, std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN(), 1e300};
    drawn.budget.resize(supporters);
    for (std::size_t i = 0; i < supporters; ++i) {
        drawn.budget[election.pair_voter[i]] = random() % 50 == 0
                                                   ? unusual[random() % 5]
                                                   : values[random() % values.size()] * election.pair_utility[i];
    }
    // Costs around what the supporters hold, so walks stop early, late or never.
    const double cost = values[0] * static_cast<double>(total) * std::ldexp(1.0, static_cast<int>(random() % 5) - 2);
    election.candidates.push_back({nullptr, cost, total, 0, supporters});
    return drawn;
}

TEST(PaymentWalk, EqualsTheFullySortedWalk) {
    std::mt19937_64 random(20261210);
    WalkBuffers buffers;
    for (std::size_t supporters : {1, 2, 63, 64, 65, 200, 3000}) {
        for (bool approval : {true, false}) {
            for (int trial = 0; trial < 40; ++trial) {
                const DrawnWalk drawn = draw(random, supporters, approval);
                const Examination expected = reference_walk(drawn.election, drawn.budget);
                const Examination walked =
                    quorin::detail::examine(drawn.election, drawn.election.candidates[0], drawn.budget, buffers);
                ASSERT_EQ(walked.affordable, expected.affordable) << supporters << " supporters, trial " << trial;
                ASSERT_EQ(walked.maximum_payment.has_value(), expected.maximum_payment.has_value())
                    << supporters << " supporters, trial " << trial;
                if (expected.maximum_payment) {
                    // Bit for bit: the order of the additions decides the last digits.
                    ASSERT_EQ(std::memcmp(&*walked.maximum_payment, &*expected.maximum_payment, sizeof(double)), 0)
                        << supporters << " supporters, trial " << trial << ": " << *walked.maximum_payment
                        << " against " << *expected.maximum_payment;
                }
            }
        }
    }
}

}  // namespace
