#include "skipping_completion.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "add_one.hpp"
#include "proof_schedule.hpp"
#include "share_range.hpp"

namespace quorin::detail {

// Ranges shorter than this are stepped through instead.
constexpr double shortest_range = 2.0;
// A range proved is followed by one at most this many times the distance
// proved so far: the reach a proof estimates grows less sure with distance.
constexpr double most_growth = 16.0;
// Proofs near a change tend to fail; after this many the next rerun, which
// costs about as much, finds the change instead.
constexpr int most_failures = 3;
// A range that fails at its first share says little of where a shorter one
// would fail; one this many times shorter costs as little to try and still
// skips far when it holds.
constexpr double shrink_after_failing_at_once = 8.0;
// Other failures alternate aiming at the estimated change with dividing
// the length by this, which bounds the proofs a stretch costs by its
// logarithm even where the estimates mislead.
constexpr double shrink_after_failing = 2.0;

struct Skipper {
    const Election& election;
    CompletionCounts* counts;
    const Interruption& interruption;
    const double saturation;
    // Input outside the proofs' preconditions is stepped through.
    const bool provable = share_range_bounds_apply(election);
    ProofSchedule schedule{};
    RangeWorkspace ranges{};

    // The budget of the furthest whole step proved to give `outcome`, which
    // the rerun at `virtual_budget` gave.
    double skip_ahead(double virtual_budget, const std::vector<std::uint32_t>& outcome) {
        const double voters = static_cast<double>(election.voter_count);
        const double share = virtual_budget / voters;
        if (!provable || !schedule.worth_trying(share, outcome)) {
            return virtual_budget;
        }
        const std::optional<double> limit = furthest_share(election.voter_count, share, saturation);
        if (!limit) {
            return virtual_budget;
        }
        const double reached = furthest_proved(share, *limit, outcome, schedule.first_length());
        schedule.jumped(reached - share);
        return reached == share ? virtual_budget : voters * reached;
    }

    // The furthest share, from `share` up to `limit`, proved to give
    // `outcome`. Lengths grow while ranges are proved one after another;
    // once one fails, the next range ends where the last proof's lines
    // estimate the change, short of the failed end, and failures alternate
    // that with halving, so that a stretch of N unchanged steps costs
    // O(log N) proofs and no run, whatever N is. `length` is the first
    // length tried.
    double furthest_proved(double share, double limit, const std::vector<std::uint32_t>& outcome,
                           double length) {
        double reached = share;
        // The end of the shortest range that failed: the change lies before.
        double failed = std::numeric_limits<double>::infinity();
        int failures = 0;
        for (;;) {
            const double last = std::min(reached + length, limit);
            if (last < reached + shortest_range || failures == most_failures) {
                return reached;
            }
            if (counts != nullptr) {
                ++counts->range_proofs;
            }
            interruption.poll();
            const RangeCheck check = outcome_holds_over(election, reached + 1, last, outcome, ranges);
            const double estimate = std::floor((last - reached) * check.reach);
            if (check.holds) {
                // Where the lines estimate the change, from the new start.
                const double beyond = std::floor((last - reached) * (check.reach - 1));
                reached = last;
                length = std::min(beyond, std::isinf(failed) ? most_growth * (last - share)
                                                             : failed - reached - 1);
                continue;
            }
            failed = last;
            ++failures;
            length = estimate <= 0       ? std::floor(length / shrink_after_failing_at_once)
                     : failures % 2 == 1 ? estimate
                                         : std::min(std::floor(length / shrink_after_failing), estimate);
        }
    }
};

std::vector<std::uint32_t> complete_add_one_skipping(const Election& election, double total_budget,
                                                     const Interruption& interruption,
                                                     CompletionCounts* counts,
                                                     CompletionEnd* end) {
    Skipper skipper{election, counts, interruption, admitted_cost_and_saturation(election).second};
    CompletionRuns runs(election, interruption, counts);
    return complete_add_one_with(election, total_budget, runs, runs,
                                 [&](double virtual_budget, const std::vector<std::uint32_t>& outcome) {
                                     return skipper.skip_ahead(virtual_budget, outcome);
                                 },
                                 end);
}

}  // namespace quorin::detail
