#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "proof_schedule.hpp"

namespace {

using quorin::detail::furthest_proved;
using quorin::detail::furthest_share;
using quorin::detail::ProofSchedule;
using quorin::detail::RangeCheck;

using Outcome = std::vector<std::uint32_t>;

constexpr double inf = std::numeric_limits<double>::infinity();

const Outcome pool{0};
const Outcome quay{1};

// Before any outcome is seen, outcomes are taken to last long: a proof is
// tried from the rerun that finds an outcome, and from each one after.
TEST(ProofSchedule, TriesAtOnceWhereOutcomesLastLong) {
    ProofSchedule schedule;
    EXPECT_TRUE(schedule.worth_trying(10, pool));
    EXPECT_TRUE(schedule.worth_trying(11, pool));
    // A new outcome, after a long stretch, is tried at once too.
    EXPECT_TRUE(schedule.worth_trying(40, quay));
    EXPECT_TRUE(schedule.worth_trying(41, quay));
}

// Outcomes that change every step or so make the typical stretch short:
// then the outcome must have held for two steps.
TEST(ProofSchedule, WaitsTwoStepsWhereOutcomesChangeOften) {
    ProofSchedule schedule;
    EXPECT_TRUE(schedule.worth_trying(1, pool));
    EXPECT_FALSE(schedule.worth_trying(2, quay));  // typical stretch (8 + 1) / 2
    EXPECT_FALSE(schedule.worth_trying(3, quay));
    EXPECT_TRUE(schedule.worth_trying(4, quay));
}

// The first range tried is eight steps long, then half the last jump, but
// never shorter than the first.
TEST(ProofSchedule, FirstRangeFollowsHalfTheLastJump) {
    ProofSchedule schedule;
    EXPECT_EQ(schedule.first_length(), 8.0);
    schedule.jumped(101);
    EXPECT_EQ(schedule.first_length(), 50.0);
    schedule.jumped(9);
    EXPECT_EQ(schedule.first_length(), 8.0);
    // A rerun whose proofs jumped nothing keeps the length.
    schedule.jumped(40);
    schedule.jumped(0);
    EXPECT_EQ(schedule.first_length(), 20.0);
}

// After proofs that found nothing, the next reruns try none: one, then
// twice as many after each such rerun, at most 64; a jump ends the pause.
TEST(ProofSchedule, QuietRerunsDoubleAfterFruitlessProofsUpToSixtyFour) {
    ProofSchedule schedule;
    double share = 0;
    EXPECT_TRUE(schedule.worth_trying(share, pool));
    const auto quiet_reruns = [&] {
        std::size_t quiet = 0;
        while (!schedule.worth_trying(++share, pool)) {
            ++quiet;
        }
        return quiet;
    };
    const std::vector<std::size_t> expected = {1, 2, 4, 8, 16, 32, 64, 64};
    for (std::size_t want : expected) {
        schedule.jumped(0);
        EXPECT_EQ(quiet_reruns(), want);
    }
    schedule.jumped(5);
    EXPECT_EQ(quiet_reruns(), 0u);
    schedule.jumped(0);
    EXPECT_EQ(quiet_reruns(), 1u);
}

// A skip stops at the first whole share past saturation.
TEST(FurthestShare, StopsAtTheFirstWholeSharePastSaturation) {
    EXPECT_EQ(furthest_share(3, 10, 100.5), std::optional<double>(101));
    EXPECT_EQ(furthest_share(3, 10, 100.0), std::optional<double>(100));
    EXPECT_EQ(furthest_share(3, 100, 100.0), std::nullopt);
    EXPECT_EQ(furthest_share(3, 101, 100.5), std::nullopt);
}

// Whole steps n * s stay exact while the odd part of n times s stays
// within 2^53: powers of two in the voter count cost nothing.
TEST(FurthestShare, StopsWhereWholeStepsWouldNoLongerBeExact) {
    const std::optional<double> three = furthest_share(3, 10, inf);
    ASSERT_TRUE(three);
    EXPECT_EQ(*three, 3002399751580330.0);
    EXPECT_LE(3 * *three, 0x1p53);
    EXPECT_EQ(furthest_share(3 * 1024, 10, inf), three);
    EXPECT_EQ(furthest_share(1024, 10, inf), std::optional<double>(0x1p53));
    EXPECT_EQ(furthest_share(1, 0x1p53, inf), std::nullopt);
    EXPECT_EQ(furthest_share(3, *three, inf), std::nullopt);
    EXPECT_EQ(furthest_share(3, *three - 1, inf), three);
}

// Stands in for the range proofs: plays back `script`, its last check
// repeated, and records the ranges asked for.
struct ScriptedProofs {
    std::vector<RangeCheck> script;
    std::vector<std::pair<double, double>> asked;

    RangeCheck operator()(double first, double last) {
        asked.emplace_back(first, last);
        return script[std::min(asked.size(), script.size()) - 1];
    }
};

using Ranges = std::vector<std::pair<double, double>>;

// Ranges that hold with nothing in sight grow sixteen times the distance
// proved so far, up to the limit.
TEST(FurthestProved, GrowsWhileRangesHoldUpToTheLimit) {
    ScriptedProofs proofs{{{true, inf}}};
    EXPECT_EQ(furthest_proved(100, 1000, 8, proofs), 1000);
    EXPECT_EQ(proofs.asked, (Ranges{{101, 108}, {109, 236}, {237, 1000}}));
}

// A range that held is followed by one that ends where its lines estimate
// the change.
TEST(FurthestProved, AimsAtTheChangeTheLinesEstimate) {
    ScriptedProofs proofs{{{true, 3}, {true, 1}}};
    EXPECT_EQ(furthest_proved(100, 1000, 8, proofs), 124);
    EXPECT_EQ(proofs.asked, (Ranges{{101, 108}, {109, 124}}));
}

// A range that fails at its first share is retried an eighth as long;
// shorter than two steps, it is stepped through instead.
TEST(FurthestProved, StepsWhereTheFirstShareFails) {
    ScriptedProofs proofs{{{false, 0}}};
    EXPECT_EQ(furthest_proved(100, 1000, 8, proofs), 100);
    EXPECT_EQ(proofs.asked, (Ranges{{101, 108}}));
    ScriptedProofs longer{{{false, 0}, {true, 1}}};
    EXPECT_EQ(furthest_proved(100, 1000, 64, longer), 108);
    EXPECT_EQ(longer.asked, (Ranges{{101, 164}, {101, 108}}));
}

// Failures alternate aiming at the estimate with halving, and six end
// the attempt; so does a range shorter than two steps.
TEST(FurthestProved, StopsAfterSixFailures) {
    ScriptedProofs proofs{{{false, 0.5}}};
    EXPECT_EQ(furthest_proved(100, 5000, 1024, proofs), 100);
    EXPECT_EQ(proofs.asked,
              (Ranges{{101, 1124}, {101, 612}, {101, 356}, {101, 228}, {101, 164}, {101, 132}}));
    ScriptedProofs short_ones{{{false, 0.5}}};
    EXPECT_EQ(furthest_proved(100, 5000, 8, short_ones), 100);
    EXPECT_EQ(short_ones.asked, (Ranges{{101, 108}, {101, 104}, {101, 102}}));
}

// After a failure, ranges that hold stop short of the failed end.
TEST(FurthestProved, StaysShortOfARangeThatFailed) {
    ScriptedProofs proofs{{{false, 0.5}, {true, inf}}};
    EXPECT_EQ(furthest_proved(100, 1000, 8, proofs), 107);
    EXPECT_EQ(proofs.asked, (Ranges{{101, 108}, {101, 104}, {105, 107}}));
}

}  // namespace
