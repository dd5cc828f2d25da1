#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ballot.hpp"
#include "election.hpp"
#include "fixed_budget.hpp"
#include "share_range.hpp"

namespace {

using quorin::ProjectId;
using quorin::VoterId;
using quorin::detail::Election;

std::vector<std::uint32_t> outcome_at(const Election& election, double share) {
    quorin::detail::Workspace workspace;
    std::vector<std::uint32_t> winners;
    quorin::detail::run_fixed_budget(election, share * static_cast<double>(election.voter_count),
                                     workspace, winners);
    return winners;
}

// Random well-formed elections: whole positive utilities summing to each
// total, shares in whole units, costs that bind for a while. Four families
// vary the ballots (approval, dense, wide utilities with fractional costs,
// many voters), so that bounds cross in different ways.
Ballot random_ballot(std::mt19937_64& rng, int family) {
    Ballot b;
    const int voters = std::uniform_int_distribution<int>(2, family == 3 ? 60 : 12)(rng);
    const int projects = std::uniform_int_distribution<int>(1, family == 2 ? 12 : 7)(rng);
    for (int v = 0; v < voters; ++v) {
        b.voters.push_back("v" + std::to_string(v));
    }
    std::bernoulli_distribution supports(family == 1 ? 0.8 : 0.5);
    std::uniform_int_distribution<std::int64_t> utility(1, family == 0 ? 1 : family == 2 ? 20 : 4);
    std::uniform_int_distribution<int> cost(1, family == 3 ? 4000 : 400);
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    for (int p = 0; p < projects; ++p) {
        const ProjectId id = "p" + std::to_string(p);
        b.projects.push_back(id);
        b.cost[id] = cost(rng) + (family == 2 ? fraction(rng) : 0.0);
        std::int64_t total = 0;
        for (const VoterId& v : b.voters) {
            if (supports(rng)) {
                const std::int64_t u = utility(rng);
                b.approvers[id].push_back({v, u});
                total += u;
            }
        }
        if (total == 0) {
            b.approvers[id].push_back({b.voters.front(), 1});
            total = 1;
        }
        b.totals[id] = total;
    }
    return b;
}

// The proof is only worth having if it is never wrong: wherever it holds,
// every share in the range gives the outcome claimed. Every third range is
// long, where the bounds are loosest and cross most.
TEST(ShareRange, NeverProvesARangeWhereSomeShareDiffers) {
    std::mt19937_64 rng(20261209);
    quorin::detail::RangeWorkspace workspace;
    std::size_t proved = 0;
    std::size_t disproved_by_runs = 0;
    for (int instance = 0; instance < 20000; ++instance) {
        const int family = instance % 4;
        const Ballot ballot = random_ballot(rng, family);
        const Election election = prepared(ballot);
        ASSERT_TRUE(quorin::detail::share_range_bounds_apply(election));
        const double first = std::uniform_int_distribution<int>(0, family == 3 ? 200 : 60)(rng);
        const double last = first + std::uniform_int_distribution<int>(1, instance % 3 == 0 ? 200 : 40)(rng);
        const std::vector<std::uint32_t> outcome = outcome_at(election, first);
        bool same_everywhere = true;
        for (double share = first + 1; share <= last && same_everywhere; ++share) {
            same_everywhere = outcome_at(election, share) == outcome;
        }
        disproved_by_runs += same_everywhere ? 0 : 1;
        if (quorin::detail::outcome_holds_over(election, first, last, outcome, workspace).holds) {
            ++proved;
            ASSERT_TRUE(same_everywhere) << "instance " << instance << ", shares " << first << " to " << last;
        }
    }
    // It proves a fair part of what holds, and the instances test both ways.
    EXPECT_GT(proved, 6000u);
    EXPECT_GT(disproved_by_runs, 6000u);
}

// One voter backs each project alone: Pool becomes affordable at share 100
// exactly, and the proof must stop short of it.
TEST(ShareRange, StopsWhereAProjectBecomesAffordable) {
    Ballot ballot{{"v1", "v2", "v3"},
                  {"Pool"},
                  {{"Pool", 100.0}},
                  {{"Pool", {{"v1", 1}}}},
                  {{"Pool", 1}}};
    const Election election = prepared(ballot);
    quorin::detail::RangeWorkspace workspace;
    EXPECT_TRUE(quorin::detail::outcome_holds_over(election, 40, 99, {}, workspace).holds);
    const auto across = quorin::detail::outcome_holds_over(election, 40, 100, {}, workspace);
    EXPECT_FALSE(across.holds);
    EXPECT_LT(across.reach, 1.0);
    EXPECT_TRUE(quorin::detail::outcome_holds_over(election, 101, 1000, {0}, workspace).holds);
}

TEST(ShareRange, AppliesOnlyToWholePositiveUtilitiesSummingToTheTotal) {
    Ballot ballot{{"v1", "v2"},
                  {"Pool"},
                  {{"Pool", 10.0}},
                  {{"Pool", {{"v1", 1}, {"v2", 2}}}},
                  {{"Pool", 3}}};
    EXPECT_TRUE(quorin::detail::share_range_bounds_apply(prepared(ballot)));
    ballot.totals["Pool"] = 4;
    EXPECT_FALSE(quorin::detail::share_range_bounds_apply(prepared(ballot)));
    ballot.totals["Pool"] = 2;
    ballot.approvers["Pool"] = {{"v1", 3}, {"v2", -1}};
    EXPECT_FALSE(quorin::detail::share_range_bounds_apply(prepared(ballot)));
    // Past 2^52 doubles no longer count whole stored values one by one.
    const std::int64_t huge = std::int64_t{1} << 53;
    ballot.totals["Pool"] = huge;
    ballot.approvers["Pool"] = {{"v1", huge}};
    EXPECT_FALSE(quorin::detail::share_range_bounds_apply(prepared(ballot)));
}

}  // namespace
