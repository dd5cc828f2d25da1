#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ballot.hpp"
#include "election.hpp"
#include "equal_shares.hpp"
#include "outcomes.hpp"
#include "skipping_completion.hpp"
#include "stepping_completion.hpp"

namespace {

using quorin::detail::Election;

struct Completions {
    std::vector<std::uint32_t> stepped;
    quorin::detail::CompletionCounts stepping;
    std::vector<std::uint32_t> skipped;
    quorin::detail::CompletionCounts counts;
};

Completions complete_both_ways(const Ballot& b) {
    const Election election = prepared(b);
    Completions c;
    c.stepped = quorin::detail::complete_add_one_stepping(election, b.budget, {}, &c.stepping);
    c.skipped = quorin::detail::complete_add_one_skipping(election, b.budget, {}, &c.counts);
    return c;
}

// Ten voters share 300, but each project is backed by one voter alone, who
// must hold its whole cost: the outcome changes only at shares 100 and 150
// (where Quay, with two votes, comes first).
TEST(SkippingCompletion, SkipsStepsThatDecideAlikeAndAgreesWithStepping) {
    const Ballot ballot{{"v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "v10"},
                        {"Pool", "Quay"},
                        {{"Pool", 100.0}, {"Quay", 150.0}},
                        {{"Pool", {{"v1", 1}}}, {"Quay", {{"v2", 2}}}},
                        {{"Pool", 1}, {"Quay", 2}},
                        300.0};
    const Completions c = complete_both_ways(ballot);
    EXPECT_EQ(c.skipped, c.stepped);
    EXPECT_EQ(c.stepped, (std::vector<std::uint32_t>{1, 0}));
    EXPECT_EQ(c.stepping.runs, 121u);
    EXPECT_LE(c.counts.runs + c.counts.range_proofs, 16u);
}

// Big becomes affordable only when its one voter holds 1e9: stepping would
// rerun about a billion times (so it is not run here).
TEST(SkippingCompletion, JumpsOverAnOutcomeThatHoldsForABillionSteps) {
    const Ballot ballot{{"v1"}, {"Big", "Free"}, {{"Big", 1e9}, {"Free", 0.0}},
                        {{"Big", {{"v1", 1}}}}, {{"Big", 1}}, 10.0};
    const Election election = quorin::detail::prepare_election(
        ballot.voters, ballot.projects, ballot.cost, ballot.approvers, ballot.totals);
    quorin::detail::CompletionCounts counts;
    EXPECT_TRUE(quorin::detail::complete_add_one_skipping(election, ballot.budget, {}, &counts).empty());
    EXPECT_LE(counts.runs + counts.range_proofs, 20u);
}

// One project's cost is scaled by 10^k: the stretch of unchanged outcome
// before it could be bought grows with it, so a completion that stepped (or
// jumped by a fixed factor and fell back to stepping) would rerun in
// proportion. Runs must stay as they are at every scale, and proofs grow at
// most with the number of digits.
struct ScaledCase {
    std::string name;
    Ballot (*ballot)(double big_cost);
    std::vector<std::string> expected;
};

// One voter who can always afford two cheap projects tied with each other
// and with Big wherever Big is affordable; Free, never a candidate, always
// fits, so only overshooting or running out of exact steps ends it.
Ballot two_cheap_and_big(double big_cost) {
    return {{"v1"},
            {"T1", "T2", "Big", "Free"},
            {{"T1", 10.0}, {"T2", 10.0}, {"Big", big_cost}, {"Free", 0.0}},
            {{"T1", {{"v1", 1}}}, {"T2", {{"v1", 1}}}, {"Big", {{"v1", 1}}}},
            {{"T1", 1}, {"T2", 1}, {"Big", 1}},
            20.0};
}

// A hundred voters in two camps with projects of their own, and Big, which
// every voter backs and which is never bought before it overshoots.
Ballot two_camps_and_big(double big_cost) {
    Ballot b;
    b.projects = {"North", "South", "Park", "Big", "Free"};
    b.cost = {{"North", 300.0}, {"South", 200.0}, {"Park", 250.0}, {"Big", big_cost}, {"Free", 0.0}};
    for (int v = 0; v < 100; ++v) {
        const std::string voter = "v" + std::to_string(v);
        b.voters.push_back(voter);
        b.approvers[v < 60 ? "North" : "South"].push_back({voter, 1});
        if (v % 3 == 0) {
            b.approvers["Park"].push_back({voter, 2});
        }
        b.approvers["Big"].push_back({voter, 1});
    }
    sum_totals(b);
    b.budget = 700.0;
    return b;
}

TEST(SkippingCompletion, RunsDoNotGrowWithTheCostOfAProjectNeverBought) {
    const std::vector<ScaledCase> cases = {
        {"one voter, two cheap ties", two_cheap_and_big, {"T1", "T2"}},
        {"two camps of a hundred voters", two_camps_and_big, {"North", "South"}},
    };
    for (const ScaledCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t first_runs = 0;
        for (int k = 3; k <= 18; ++k) {
            SCOPED_TRACE("cost 10^" + std::to_string(k));
            const Ballot ballot = c.ballot(std::pow(10.0, k));
            const Election election = prepared(ballot);
            quorin::detail::CompletionCounts counts;
            const std::vector<std::uint32_t> outcome =
                quorin::detail::complete_add_one_skipping(election, ballot.budget, {}, &counts);
            EXPECT_EQ(quorin::detail::identifiers_of(election, outcome), c.expected);
            if (k == 3) {
                first_runs = counts.runs;
                EXPECT_EQ(outcome, complete_both_ways(ballot).stepped);
            }
            // Close to Big's cost the bounds' rounding allowance, 2^-44 of
            // the share, hides where it becomes affordable; only that band
            // may be stepped through.
            const double band = 0x1p-42 * std::min(std::pow(10.0, k), 0x1p53);
            EXPECT_LE(static_cast<double>(counts.runs), static_cast<double>(first_runs + 2) + band);
            EXPECT_LE(static_cast<double>(counts.range_proofs), 8.0 * k + band);
        }
    }
}

}  // namespace
