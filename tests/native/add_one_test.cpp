#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "add_one.hpp"
#include "election.hpp"
#include "equal_shares.hpp"

namespace {

using quorin::detail::Candidate;
using quorin::detail::complete_add_one;
using quorin::detail::Election;
using quorin::detail::Listing;
using quorin::detail::not_a_candidate;

using Outcome = std::vector<std::uint32_t>;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double two_to_53 = 9007199254740992.0;

// One entry of `projects`: admitted entries become candidates, numbered
// from 0 in listing order.
struct Line {
    double cost;
    bool admitted;
};

Line admitted(double cost) { return {cost, true}; }
Line outside(double cost) { return {cost, false}; }

// The completion reads only the voter count, the candidates' costs and the
// listings; no supporters are needed.
Election election_of(std::size_t voter_count, const std::vector<Line>& lines) {
    Election election;
    election.voter_count = voter_count;
    for (const Line& line : lines) {
        Listing listing{line.cost, not_a_candidate};
        if (line.admitted) {
            listing.candidate = static_cast<std::uint32_t>(election.candidates.size());
            election.candidates.push_back(Candidate{nullptr, line.cost, 1, 0, 0});
        }
        election.listings.push_back(listing);
    }
    return election;
}

// Enough for every completion here; a loop that gets this far would not end.
constexpr std::size_t run_limit = 10000;

struct RunawayCompletion {};

// Stands in for the fixed-budget rule: plays back `script`, its last outcome
// repeated forever, and records the budget of every run.
class ScriptedRun {
public:
    explicit ScriptedRun(std::vector<Outcome> script) : script_(std::move(script)) {}

    void operator()(double budget, Outcome& winners) {
        budgets_.push_back(budget);
        if (budgets_.size() > run_limit) {
            throw RunawayCompletion{};
        }
        winners = script_[std::min(budgets_.size(), script_.size()) - 1];
    }

    const std::vector<double>& budgets() const { return budgets_; }

private:
    std::vector<Outcome> script_;
    std::vector<double> budgets_;
};

struct Completion {
    Outcome outcome;
    std::vector<double> budgets;
};

Completion complete(const Election& election, double total_budget, std::vector<Outcome> script) {
    ScriptedRun run(std::move(script));
    Completion completion;
    try {
        completion.outcome = complete_add_one(election, total_budget, run);
    } catch (const RunawayCompletion&) {
        ADD_FAILURE() << "still rerunning after " << run_limit << " runs";
    }
    completion.budgets = run.budgets();
    return completion;
}

// first, first + step, ... up to and including last. Counted in steps, since
// near 2^53 adding a step to a double need not change it.
std::vector<double> runs_at(double first, double step, double last) {
    const auto steps = static_cast<std::size_t>((last - first) / step);
    std::vector<double> budgets;
    for (std::size_t i = 0; i <= steps; ++i) {
        budgets.push_back(first + static_cast<double>(i) * step);
    }
    return budgets;
}

struct CompletionCase {
    std::string name;
    Election election;
    double total_budget;
    std::vector<Outcome> script;
    Outcome expected;
    std::vector<double> expected_budgets;
};

void expect_completions(const std::vector<CompletionCase>& cases) {
    for (const CompletionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Completion completion = complete(c.election, c.total_budget, c.script);
        EXPECT_EQ(completion.outcome, c.expected);
        EXPECT_EQ(completion.budgets, c.expected_budgets);
    }
}

TEST(AddOne, RerunsAtEachWholeShareAboveTheFirstRun) {
    struct StartCase {
        std::string name;
        double total_budget;
        std::size_t voters;
        double outside_cost;
        std::vector<double> expected_budgets;
    };
    const std::vector<StartCase> cases = {
        {"share 3.33", 10.0, 3, 0.5, {10.0, 12.0, 15.0, 18.0}},
        {"whole share", 9.0, 3, 0.5, {9.0, 12.0, 15.0}},
        {"share 2.75 is truncated, not rounded", 11.0, 4, 0.5, {11.0, 12.0, 16.0}},
        {"share below one", 2.5, 4, 0.5, {2.5, 4.0, 8.0, 12.0}},
        {"share beyond 32 bits", 5000000000.5, 1, 0.5, {5000000000.5, 5000000001.0, 5000000002.0}},
        {"negative share truncates toward zero", -10.0, 3, -20.0, {-10.0, -6.0}},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Empty outcomes until the last run, which buys the project that is
        // far too dear and so ends the completion.
        std::vector<Outcome> script(c.expected_budgets.size() - 1, Outcome{});
        script.push_back({1});
        const Completion completion =
            complete(election_of(c.voters, {admitted(1.0), admitted(1e12), outside(c.outside_cost)}),
                     c.total_budget, script);
        EXPECT_EQ(completion.outcome, Outcome{});
        EXPECT_EQ(completion.budgets, c.expected_budgets);
    }
}

TEST(AddOne, ReturnsTheFirstOutcomeAfterOneRunWhenNothingElseFits) {
    struct SingleRunCase {
        std::string name;
        Election election;
        double total_budget;
        Outcome first;
    };
    const std::vector<SingleRunCase> cases = {
        {"no projects", election_of(2, {}), 10.0, {}},
        {"p2 does not fit beside p1", election_of(2, {admitted(6.0), admitted(5.0)}), 10.0, {0}},
        {"negative budget", election_of(2, {admitted(6.0), admitted(5.0)}), -10.0, {}},
        {"a project of undefined cost never fits", election_of(2, {admitted(6.0), outside(nan)}),
         10.0, {0}},
        // Budgets could never grow: without this exit the rerun would repeat.
        {"no voters", election_of(0, {admitted(1.0)}), 10.0, {}},
        {"undefined budget", election_of(2, {admitted(1.0), outside(1.0)}), nan, {}},
    };
    for (const SingleRunCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Completion completion = complete(c.election, c.total_budget, {c.first});
        EXPECT_EQ(completion.outcome, c.first);
        EXPECT_EQ(completion.budgets.size(), 1u);
    }
}

TEST(AddOne, KeepsTheLastRerunThatFits) {
    // p1 costs 6, p2 4 (or 3), p3 4 or 5.
    expect_completions({
        {"p2 fills the budget exactly, so a rerun follows",
         election_of(2, {admitted(6.0), admitted(4.0)}), 10.0, {{0}, {1, 0}}, {1, 0}, {10.0, 12.0}},
        {"p3 no longer fits beside the accepted rerun",
         election_of(2, {admitted(6.0), admitted(3.0), admitted(4.0)}), 10.0, {{1}, {1, 0}}, {1, 0},
         {10.0, 12.0}},
        {"an overshooting rerun is discarded",
         election_of(2, {admitted(6.0), admitted(3.0), admitted(4.0)}), 10.0, {{1}, {1, 0, 2}}, {1},
         {10.0, 12.0}},
        // A free project outside the running still fits beside it.
        {"a rerun costing exactly the budget is accepted and testing goes on",
         election_of(2, {admitted(6.0), admitted(4.0), admitted(20.0), outside(0.0)}), 10.0,
         {{0}, {0, 1}, {2}}, {0, 1}, {10.0, 12.0, 14.0}},
        {"an empty rerun replaces a non-empty outcome",
         election_of(2, {admitted(6.0), admitted(4.0), admitted(5.0)}), 10.0, {{0}, {}, {0, 2}}, {},
         {10.0, 12.0, 14.0}},
    });
}

// Skipping ahead is asked for only after a rerun the completion goes on
// from: the last outcome leaves nothing to skip over.
TEST(AddOne, AsksToSkipOnlyWhileTheCompletionGoesOn) {
    struct SkipCase {
        std::string name;
        Election election;
        std::vector<Outcome> script;
        std::vector<Outcome> asked;
    };
    const std::vector<SkipCase> cases = {
        {"the first rerun leaves nothing fitting", election_of(2, {admitted(6.0), admitted(4.0)}),
         {{0}, {1, 0}}, {}},
        {"a free project outside still fits, then a rerun overshoots",
         election_of(2, {admitted(6.0), admitted(4.0), admitted(20.0), outside(0.0)}),
         {{0}, {0, 1}, {2}}, {{0, 1}}},
    };
    for (const SkipCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedRun run(c.script);
        std::vector<Outcome> asked;
        quorin::detail::complete_add_one_with(c.election, 10.0, run, run,
                                              [&](double virtual_budget, const Outcome& outcome) {
                                                  asked.push_back(outcome);
                                                  return virtual_budget;
                                              });
        EXPECT_EQ(asked, c.asked);
    }
}

// A project outside the running that fits beside all candidates together
// keeps every outcome from being exhaustive, and no outcome can overshoot:
// the one rerun at the first whole share of at least four times the
// candidates' total cost gives the result.
TEST(AddOneTermination, JumpsToSaturationWhenAProjectOutsideTheRunningAlwaysFits) {
    expect_completions({
        {"outside project fits beside every candidate",
         election_of(2, {admitted(1.0), admitted(2.0), outside(6.5)}), 10.0, {{}, {0}}, {0},
         {10.0, 24.0}},
        {"share already past saturation",
         election_of(2, {admitted(1.0), admitted(2.0), outside(7.0)}), 100.0, {{}, {0}}, {0},
         {100.0, 102.0}},
        {"saturation rounded up to a whole share",
         election_of(2, {admitted(0.5), admitted(0.8), outside(1.0)}), 4.0, {{}, {0}}, {0},
         {4.0, 12.0}},
        {"saturation beyond the largest double", election_of(1, {admitted(1e308), outside(0.0)}),
         1.5e308, {{}, {0}}, {0}, {1.5e308, inf}},
        {"infinite budget", election_of(2, {admitted(1.0), outside(1.0)}), inf, {{}, {0}}, {0},
         {inf, inf}},
    });
}

TEST(AddOneTermination, RerunsStepByStepUnlessTheOutsideProjectFitsBesideEveryCandidate) {
    expect_completions({
        {"fit too close to tell from rounding of an outcome's cost",
         election_of(2, {admitted(1.0), admitted(2.0), outside(7.0)}), 10.0, {{}, {0}}, {0},
         runs_at(10.0, 2.0, 24.0)},
        {"outside project too dear beside every candidate",
         election_of(2, {admitted(1.0), admitted(2.0), outside(7.5)}), 10.0, {{0}, {0, 1}}, {0, 1},
         {10.0, 12.0}},
        {"candidates together exceed the budget",
         election_of(2, {admitted(1.0), admitted(20.0), outside(1.0)}), 10.0, {{0}, {1}}, {0},
         {10.0, 12.0}},
    });
}

// The candidate is never bought, so it always fits and every empty rerun is
// accepted: only the saturation exit ends these.
TEST(AddOneTermination, StopsOnceTheShareReachesFourTimesTheCandidatesCost) {
    expect_completions({
        {"one voter", election_of(1, {admitted(5.0)}), 10.0, {{}}, {}, runs_at(10.0, 1.0, 20.0)},
        {"two voters compare the share, not the budget", election_of(2, {admitted(5.0)}), 10.0,
         {{}}, {}, runs_at(10.0, 2.0, 40.0)},
        {"saturated from the start", election_of(1, {admitted(5.0)}), 30.0, {{}}, {}, {30.0}},
    });
}

TEST(AddOneTermination, StopsWhenAStepNoLongerRaisesTheBudget) {
    expect_completions({
        {"one voter past 2^53", election_of(1, {admitted(std::ldexp(1.0, 60)), outside(1.0)}),
         two_to_53 - 4.0, {{}}, {}, runs_at(two_to_53 - 4.0, 1.0, two_to_53)},
    });
}

TEST(AddOneWithTheRule, OutcomeMemberListedTwiceIsSkippedAtBothListings) {
    const quorin::CostMap cost{{"Pool", 4.0}};
    const quorin::ApproverUtilityMap approvers_utilities{{"Pool", {{"voter1", 1}}}};
    const quorin::TotalUtilityMap total_utility{{"Pool", 1}};
    const std::vector<quorin::VoterId> voters{"voter1"};
    const std::vector<quorin::ProjectId> projects{"Pool", "Pool"};
    const Election election = quorin::detail::prepare_election(voters, projects, cost,
                                                               approvers_utilities, total_utility);
    const Completion completion = complete(election, 10.0, {{0}});
    EXPECT_EQ(completion.outcome, Outcome{0});
    EXPECT_EQ(completion.budgets, std::vector<double>{10.0});
}

// Listed first, A absorbs the two tiny costs when summed in listing order,
// but bought last it does not: the rerun at 2.0 overshoots by one unit of
// roundoff, so the first outcome stands.
TEST(AddOneWithTheRule, OutcomeCostRoundingAboveTheListingSumOvershoots) {
    const double tiny = std::ldexp(1.0, -53);
    const quorin::CostMap cost{{"A", 1.0}, {"B", tiny}, {"C", tiny}, {"Z", 0.0}};
    const quorin::ApproverUtilityMap approvers{
        {"A", {{"v1", 1}}}, {"B", {{"v1", 3}}}, {"C", {{"v1", 2}}}};
    const quorin::TotalUtilityMap totals{{"A", 1}, {"B", 3}, {"C", 2}};
    EXPECT_EQ(quorin::equal_shares_add1({"v1"}, {"A", "B", "C", "Z"}, cost, approvers, totals, 1.0),
              (std::vector<std::string>{"B", "C"}));
}

TEST(AddOneWithTheRule, CompletesPoolWithQuay) {
    const std::vector<quorin::VoterId> voters{"voter1", "voter2"};
    const std::vector<quorin::ProjectId> projects{"Pool", "Quay"};
    const quorin::CostMap cost{{"Pool", 4.0}, {"Quay", 6.0}};
    const quorin::ApproverUtilityMap approvers_utilities{{"Pool", {{"voter1", 1}}},
                                                         {"Quay", {{"voter2", 1}}}};
    const quorin::TotalUtilityMap total_utility{{"Pool", 1}, {"Quay", 1}};
    using Ids = std::vector<quorin::ProjectId>;
    EXPECT_EQ(quorin::equal_shares_utils(voters, projects, cost, approvers_utilities, total_utility,
                                         10.0),
              Ids{"Pool"});
    EXPECT_EQ(quorin::equal_shares_add1(voters, projects, cost, approvers_utilities, total_utility,
                                        10.0),
              (Ids{"Pool", "Quay"}));
}

}  // namespace
