#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "add_one.hpp"
#include "ballot.hpp"
#include "election.hpp"
#include "equal_shares.hpp"
#include "fixed_budget.hpp"
#include "skipping_completion.hpp"

namespace {

using quorin::detail::Election;

struct Completions {
    std::vector<std::uint32_t> stepped;
    std::size_t steps = 0;
    std::vector<std::uint32_t> skipped;
    quorin::detail::CompletionCounts counts;
};

Completions complete_both_ways(const Ballot& b) {
    const Election election = prepared(b);
    Completions c;
    quorin::detail::Workspace workspace;
    c.stepped = quorin::detail::complete_add_one(
        election, b.budget, [&](double budget, std::vector<std::uint32_t>& winners) {
            ++c.steps;
            quorin::detail::run_fixed_budget(election, budget, workspace, winners);
        });
    c.skipped = quorin::detail::complete_add_one_skipping(election, b.budget, c.counts);
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
    EXPECT_EQ(c.steps, 121u);
    EXPECT_LE(c.counts.runs + c.counts.range_proofs, 12u);
}

// Big becomes affordable only when its one voter holds 1e9: stepping would
// rerun about a billion times (so it is not run here).
TEST(SkippingCompletion, JumpsOverAnOutcomeThatHoldsForABillionSteps) {
    const Ballot ballot{{"v1"}, {"Big", "Free"}, {{"Big", 1e9}, {"Free", 0.0}},
                        {{"Big", {{"v1", 1}}}}, {{"Big", 1}}, 10.0};
    const Election election = quorin::detail::prepare_election(
        ballot.voters, ballot.projects, ballot.cost, ballot.approvers, ballot.totals);
    quorin::detail::CompletionCounts counts;
    EXPECT_TRUE(quorin::detail::complete_add_one_skipping(election, ballot.budget, counts).empty());
    EXPECT_LE(counts.runs + counts.range_proofs, 20u);
}

}  // namespace
