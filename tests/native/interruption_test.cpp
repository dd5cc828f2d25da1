#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ballot.hpp"
#include "election.hpp"
#include "fixed_budget.hpp"
#include "interruption.hpp"
#include "skipping_completion.hpp"

namespace {

using quorin::detail::Election;
using quorin::detail::Interruption;

struct Interrupted {};

// Counts the polls, and throws at the poll numbered `throw_at` (never when
// it is zero).
struct PollCounter {
    std::size_t polls = 0;
    std::size_t throw_at = 0;

    Interruption interruption() {
        return {[](void* self) {
                    auto& counter = *static_cast<PollCounter*>(self);
                    if (++counter.polls == counter.throw_at) {
                        throw Interrupted{};
                    }
                },
                this};
    }
};

// Three camps of voters with projects of their own and one all of them
// back, costs that keep the outcome changing for a few hundred steps.
Ballot camps(int voters) {
    Ballot b;
    b.projects = {"North", "South", "East", "Park", "Hall", "Free"};
    b.cost = {{"North", 3000.0}, {"South", 2000.0}, {"East", 1700.0},
              {"Park", 2500.0},  {"Hall", 4100.0},  {"Free", 0.0}};
    for (int v = 0; v < voters; ++v) {
        const std::string voter = "v" + std::to_string(v);
        b.voters.push_back(voter);
        b.approvers[v % 3 == 0 ? "North" : v % 3 == 1 ? "South" : "East"].push_back({voter, 1});
        if (v % 4 == 0) {
            b.approvers["Park"].push_back({voter, 2});
        }
        if (v % 5 != 0) {
            b.approvers["Hall"].push_back({voter, 1 + v % 3});
        }
    }
    sum_totals(b);
    b.budget = 6000.0;
    return b;
}

// Whatever poll throws, the exception ends the completion (and, under the
// sanitizers, leaves nothing allocated behind).
TEST(Interruption, AnyPollThatThrowsEndsTheCompletion) {
    const Ballot ballot = camps(3000);
    const Election election = prepared(ballot);
    PollCounter counter;
    quorin::detail::CompletionCounts counts;
    const std::vector<std::uint32_t> outcome =
        quorin::detail::complete_add_one_skipping(election, ballot.budget, counter.interruption(), &counts);
    const std::size_t polls = counter.polls;
    ASSERT_GE(polls, counts.runs + counts.range_proofs);
    for (std::size_t at = 1; at <= polls; at += 1 + polls / 50) {
        SCOPED_TRACE("throwing at poll " + std::to_string(at));
        PollCounter throwing{0, at};
        EXPECT_THROW(quorin::detail::complete_add_one_skipping(election, ballot.budget,
                                                               throwing.interruption()),
                     Interrupted);
        EXPECT_EQ(throwing.polls, at);
    }
    // Polling changes nothing else.
    quorin::detail::CompletionCounts unpolled;
    EXPECT_EQ(quorin::detail::complete_add_one_skipping(election, ballot.budget, {}, &unpolled), outcome);
    EXPECT_EQ(unpolled.runs, counts.runs);
}

// One run over a few hundred thousand supporters polls as it goes, not
// only once it is done.
TEST(Interruption, ALongRunPollsEveryFewThousandSupporters) {
    const Ballot ballot = camps(100000);
    const Election election = prepared(ballot);
    PollCounter counter;
    quorin::detail::Workspace workspace;
    std::vector<std::uint32_t> winners;
    quorin::detail::run_fixed_budget(election, ballot.budget, workspace, winners, counter.interruption());
    // Each iteration examines projects of tens of thousands of supporters.
    EXPECT_GE(counter.polls, winners.size());

    PollCounter throwing{0, 2};
    EXPECT_THROW(quorin::detail::run_fixed_budget(election, ballot.budget, workspace, winners,
                                                  throwing.interruption()),
                 Interrupted);
}

}  // namespace
