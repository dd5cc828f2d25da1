#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "equal_shares.hpp"
#include "expect_missing_key.hpp"

namespace {

using quorin::ApproverUtilityMap;
using quorin::CostMap;
using quorin::equal_shares_utils;
using quorin::ProjectId;
using quorin::TotalUtilityMap;
using quorin::VoterId;

using Pairs = std::vector<std::pair<VoterId, std::int64_t>>;
using Outcome = std::vector<ProjectId>;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t two_to_53 = std::int64_t{1} << 53;
constexpr std::int64_t int64_max = std::numeric_limits<std::int64_t>::max();

struct Proposal {
    ProjectId id;
    double cost;
    Pairs supporters;
    std::int64_t total_utility;
};

struct Ballot {
    std::vector<VoterId> voters;
    std::vector<Proposal> proposals;
    double total_budget;
    // `projects` as passed to the rule; the proposals in order when empty.
    std::vector<ProjectId> listing = {};
};

Outcome winners_of(const Ballot& ballot) {
    std::vector<ProjectId> projects = ballot.listing;
    CostMap cost;
    ApproverUtilityMap approvers_utilities;
    TotalUtilityMap total_utility;
    for (const Proposal& p : ballot.proposals) {
        if (ballot.listing.empty()) {
            projects.push_back(p.id);
        }
        cost[p.id] = p.cost;
        approvers_utilities[p.id] = p.supporters;
        total_utility[p.id] = p.total_utility;
    }
    return equal_shares_utils(ballot.voters, projects, cost, approvers_utilities, total_utility,
                              ballot.total_budget);
}

struct RuleCase {
    std::string name;
    Ballot ballot;
    Outcome expected;
};

void expect_outcomes(const std::vector<RuleCase>& cases) {
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(winners_of(c.ballot), c.expected);
    }
}

TEST(FixedBudget, WorkedExamples) {
    expect_outcomes({
        // Park's walk stops at a share equal to voter1's budget; Bridge's
        // clamps voter2; Clinic ends unaffordable.
        {"stop test, clamped payment, unaffordable project",
         {{"voter1", "voter2", "voter3"},
          {{"Park", 150, {{"voter1", 2}, {"voter2", 1}}, 3},
           {"Bridge", 120, {{"voter2", 1}, {"voter3", 1}}, 2},
           {"Clinic", 90, {{"voter3", 1}}, 1}},
          300},
         {"Park", "Bridge"}},
        // Canal's count 3.64 is stored as 3, so in the second iteration
        // Arena's 3.33 stops the scan before Canal is looked at again.
        {"stored values are truncated",
         {{"voter1", "voter2", "voter3", "voter4", "voter5"},
          {{"Arena", 90, {{"voter4", 2}, {"voter2", 1}, {"voter1", 1}}, 4},
           {"Bench", 10, {{"voter1", 2}, {"voter3", 3}}, 5},
           {"Canal", 80, {{"voter2", 4}, {"voter4", 1}, {"voter5", 1}}, 6}},
          180},
         {"Bench", "Arena"}},
        // voter1's share of Park's price is 160 but it holds 100: it pays
        // 100 and keeps nothing, not a debt of 60 that would leave Quay
        // unaffordable.
        {"a payment never exceeds the payer's budget",
         {{"voter1", "voter2"},
          {{"Park", 180, {{"voter1", 2}, {"voter2", 1}}, 3},
           {"Quay", 20, {{"voter1", 1}, {"voter2", 1}}, 2}},
          200},
         {"Park", "Quay"}},
        {"equal counts go to the tie-break",
         {{"voter1", "voter2"},
          {{"Pool", 100, {{"voter1", 1}}, 1}, {"Quay", 80, {{"voter2", 1}}, 1}},
          200},
         {"Quay", "Pool"}},
        {"money equal to the cost suffices",
         {{"voter1"}, {{"Pool", 100, {{"voter1", 1}}, 1}}, 100},
         {"Pool"}},
        // The stranger holds nothing, so voter1 pays all 50 of Pool and can
        // no longer afford Quay.
        {"a supporter missing from the voters",
         {{"voter1"},
          {{"Pool", 50, {{"voter1", 1}, {"stranger", 1}}, 2},
           {"Quay", 60, {{"voter1", 1}}, 1}},
          100},
         {"Pool"}},
        {"a voter listed twice gets one share",
         {{"voter1", "voter1", "voter2"},
          {{"Span", 250, {{"voter1", 1}, {"voter2", 1}}, 2}},
          300},
         {}},
        {"no voters",
         {{}, {{"Pool", 1, {{"voter1", 1}}, 1}}, 100},
         {}},
        {"negative budget",
         {{"voter1", "voter2"}, {{"Pool", 10, {{"voter1", 1}, {"voter2", 1}}, 2}}, -300},
         {}},
        {"negative total utility never wins",
         {{"voter1"},
          {{"Sink", 10, {{"voter1", 1}}, -1}, {"Pool", 50, {{"voter1", 1}}, 1}},
          100},
         {"Pool"}},
        {"a project listed twice wins once",
         {{"voter1"}, {{"Pool", 100, {{"voter1", 1}}, 1}}, 300, {"Pool", "Pool"}},
         {"Pool"}},
    });
}

TEST(FixedBudget, ProjectsThatCannotRunNeedNoFurtherEntries) {
    const std::vector<VoterId> voters{"voter1"};
    const std::vector<ProjectId> projects{"Free", "Refund", "Odd", "Lonely", "Pool"};
    const CostMap cost{{"Free", 0.0}, {"Refund", -5.0}, {"Odd", nan}, {"Lonely", 5.0},
                       {"Pool", 10.0}};
    const ApproverUtilityMap approvers_utilities{{"Lonely", {}}, {"Pool", {{"voter1", 1}}}};
    const TotalUtilityMap total_utility{{"Pool", 1}};
    EXPECT_EQ(equal_shares_utils(voters, projects, cost, approvers_utilities, total_utility, 100),
              Outcome{"Pool"});
}

TEST(FixedBudget, MissingEntriesFailWithTheLookupError) {
    const CostMap cost{{"Pool", 10.0}, {"Quay", 10.0}};
    const ApproverUtilityMap approvers_utilities{{"Pool", {{"voter1", 1}}}};
    const TotalUtilityMap total_utility{};
    {
        SCOPED_TRACE("a listed project without a cost, though nobody could pay for it");
        expect_missing_key([&] {
            equal_shares_utils({}, {"Ghost"}, cost, approvers_utilities, total_utility, 100);
        });
    }
    {
        SCOPED_TRACE("a project of positive cost without supporters");
        expect_missing_key([&] {
            equal_shares_utils({"voter1"}, {"Quay"}, cost, approvers_utilities, total_utility, 100);
        });
    }
    {
        SCOPED_TRACE("a supported project without a total utility");
        expect_missing_key([&] {
            equal_shares_utils({"voter1"}, {"Pool"}, cost, approvers_utilities, total_utility, 100);
        });
    }
}

// Alpha and Beta both start at 10 and end the first iteration, which Wharf
// wins, with counts 3.2 and 3.75, both stored as 3. Their supporters keep
// their money, so in the second iteration whichever of the two is scanned
// first sets a best count above the other's stored 3 and wins unexamined
// competition.
TEST(FixedBudget, EqualStoredValuesAreScannedInOrderOfFirstListing) {
    const std::vector<VoterId> voters{"a1", "a2", "b1", "b2", "w1"};
    const std::vector<Proposal> proposals{
        {"Alpha", 160, {{"a1", 9}, {"a2", 1}}, 10},
        {"Beta", 150, {{"b1", 9}, {"b2", 1}}, 10},
        {"Wharf", 100, {{"w1", 5}}, 5},
    };
    expect_outcomes({
        {"Alpha listed first", {voters, proposals, 550, {"Alpha", "Beta", "Wharf"}},
         {"Wharf", "Alpha", "Beta"}},
        {"Beta listed first", {voters, proposals, 550, {"Beta", "Alpha", "Wharf"}},
         {"Wharf", "Beta", "Alpha"}},
        {"a repeated listing keeps its first place",
         {voters, proposals, 550, {"Alpha", "Beta", "Wharf", "Alpha"}},
         {"Wharf", "Alpha", "Beta"}},
    });
}

// ghost is not a voter and has utility 0, so its quotient is 0/0. Walked
// first it would stop Pool's walk at once with count 4 and a price that
// leaves voter1 money for Quay; walked last, Pool's count is 2 and voter1
// pays everything it has.
TEST(FixedBudget, UndefinedQuotientsComeLastInThePaymentWalk) {
    const Ballot ballot{{"voter1", "voter2"},
                        {{"Pool", 100, {{"ghost", 0}, {"voter1", 1}, {"voter2", 3}}, 4},
                         {"Quay", 25, {{"voter1", 1}}, 1}},
                        100};
    EXPECT_EQ(winners_of(ballot), Outcome{"Pool"});
}

// Stored values are compared with effective vote counts as integers: above
// 2^53 the stored value rounded to double could equal a count it is
// actually below, letting a cheaper project into a tie it should never
// reach.
TEST(FixedBudget, StoredValuesCompareWithCountsExactly) {
    expect_outcomes({
        // Exact count 2^53 + 4; Yard's stored 2^53 + 3 rounds up to it.
        {"above 2^53",
         {{"voter1", "voter2"},
          {{"Exact", 1, {{"voter1", two_to_53 + 4}}, two_to_53 + 4},
           {"Yard", 0.5, {{"voter2", two_to_53 + 3}}, two_to_53 + 3}},
          20},
         {"Exact", "Yard"}},
        // Exact's count is 2^63, beyond every stored value, and saturates.
        {"at the 64-bit limit",
         {{"voter1", "voter2"},
          {{"Exact", 1, {{"voter1", int64_max}}, int64_max},
           {"Yard", 0.5, {{"voter2", int64_max}}, int64_max}},
          20},
         {"Exact", "Yard"}},
    });
}

}  // namespace
