#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "proof_schedule.hpp"

namespace {

using quorin::detail::furthest_share;
using quorin::detail::ProofSchedule;

using Outcome = std::vector<std::uint32_t>;

const Outcome pool{0};
const Outcome quay{1};

// Before any outcome is seen, outcomes are taken to last long: a proof is
// tried once the outcome has held for one step.
TEST(ProofSchedule, TriesOnceAnOutcomeHasHeldForAStep) {
    ProofSchedule schedule;
    EXPECT_FALSE(schedule.worth_trying(10, pool));
    EXPECT_TRUE(schedule.worth_trying(11, pool));
    EXPECT_TRUE(schedule.worth_trying(12, pool));
    // A new outcome, after a long stretch, starts the same wait again.
    EXPECT_FALSE(schedule.worth_trying(40, quay));
    EXPECT_TRUE(schedule.worth_trying(41, quay));
}

// Outcomes that change every step or so make the typical stretch short:
// then the outcome must have held for two steps.
TEST(ProofSchedule, WaitsTwoStepsWhereOutcomesChangeOften) {
    ProofSchedule schedule;
    EXPECT_FALSE(schedule.worth_trying(1, pool));
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
    EXPECT_FALSE(schedule.worth_trying(share, pool));
    ++share;
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
    constexpr double inf = std::numeric_limits<double>::infinity();
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

}  // namespace
