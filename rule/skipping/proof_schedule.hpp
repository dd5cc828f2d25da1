// When the skipping completion tries to prove that an outcome holds, which
// ranges it tries, and how far any skip may reach.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "share_range.hpp"

namespace quorin::detail {

// The length of the first range of shares tried; later ones follow how far
// the proofs before them reached.
inline constexpr double first_range = 8.0;
// Ranges shorter than this are stepped through instead.
inline constexpr double shortest_range = 2.0;
// A range proved is followed by one at most this many times the distance
// proved so far: the reach a proof estimates grows less sure with distance.
inline constexpr double most_growth = 16.0;
// Proofs near a change tend to fail; after this many the next rerun, which
// costs about as much, finds the change instead.
inline constexpr int most_failures = 6;
// A range that fails at its first share says little of where a shorter one
// would fail; one this many times shorter costs as little to try and still
// skips far when it holds.
inline constexpr double shrink_after_failing_at_once = 8.0;
// Other failures alternate aiming at the estimated change with dividing
// the length by this, which bounds the proofs a stretch costs by its
// logarithm even where the estimates mislead.
inline constexpr double shrink_after_failing = 2.0;

// When to try a proof, apart from how. Where outcomes last long, a proof
// is tried from the rerun that finds a new one; a proof costs about a
// run, so where outcomes have been changing every few steps it waits until
// the outcome has held for two; after a rerun where proofs found nothing,
// the next few reruns try none, twice as many each time.
class ProofSchedule {
public:
    // A rerun at `share` gave `outcome`; whether to try proving from there.
    bool worth_trying(double share, const std::vector<std::uint32_t>& outcome) {
        if (outcome != segment_outcome_ || std::isinf(segment_start_)) {
            // A running average of how long outcomes last.
            typical_segment_ = std::isinf(segment_start_)
                                   ? typical_segment_
                                   : (typical_segment_ + (share - segment_start_)) / 2;
            segment_outcome_ = outcome;
            segment_start_ = share;
        }
        if (reruns_left_ > 0) {
            --reruns_left_;
            return false;
        }
        return share - segment_start_ >=
               (typical_segment_ < short_segment ? steps_held_where_changing : steps_held);
    }

    // Proofs start from a part of the length of the last jump: outcomes
    // tend to last about as long as the one before, and a range that
    // overshoots the change fails at the cost of about two runs.
    double first_length() const { return jump_; }

    // Proofs from the last rerun jumped `length` steps, or none.
    void jumped(double length) {
        quiet_reruns_ = length > 0 ? 0
                                   : std::min(std::max<std::size_t>(1, 2 * quiet_reruns_), most_quiet_reruns);
        reruns_left_ = quiet_reruns_;
        jump_ = length > 0 ? std::max(first_range, std::floor(length / last_jump_divisor)) : jump_;
    }

private:
    // Until outcomes are seen, they are taken to last this long.
    static constexpr double short_segment = 8.0;
    // Steps an outcome must have held before a proof is tried from it; more
    // where outcomes last shorter than short_segment, since a proof fails
    // where a change is near.
    static constexpr double steps_held = 0.0;
    static constexpr double steps_held_where_changing = 2.0;
    // The first range after a jump is this many times shorter than it: half
    // the length overshoots the next change seldom, yet still skips far.
    static constexpr double last_jump_divisor = 2.0;
    // Quiet reruns double after each rerun whose proofs found nothing, up
    // to this many, so a stretch of changing outcomes wastes few proofs.
    static constexpr std::size_t most_quiet_reruns = 64;

    std::vector<std::uint32_t> segment_outcome_;
    double segment_start_ = std::numeric_limits<double>::infinity();
    double typical_segment_ = short_segment;
    double jump_ = first_range;
    std::size_t quiet_reruns_ = 0;
    std::size_t reruns_left_ = 0;
};

// The furthest whole share, from `share`, that a skip may reach: past
// saturation the completion stops with the outcome it holds, and whole
// steps n·s stay exact while the odd part of n times s stays within 2^53
// (soon after, a step stops adding exactly n and the completion stops).
// None when the share itself is past either. `voter_count` is positive.
inline std::optional<double> furthest_share(std::size_t voter_count, double share, double saturation) {
    std::size_t odd_part = voter_count;
    while (odd_part % 2 == 0) {
        odd_part /= 2;
    }
    const double largest_share = std::floor(0x1p53 / static_cast<double>(odd_part));
    if (!(std::fabs(share) < largest_share) || share >= saturation) {
        return std::nullopt;
    }
    return std::floor(std::min(largest_share, std::ceil(saturation)));
}

// The furthest share, from `share` up to `limit`, that `prove(first, last)`
// (a RangeCheck of the shares first to last) proves. Lengths grow while
// ranges are proved one after another; once one fails, the next range ends
// where the last proof's lines estimate the change, short of the failed
// end, and failures alternate that with halving, so that a stretch of N
// unchanged steps costs O(log N) proofs and no run, whatever N is.
// `length` is the first length tried.
template <class Prove>
double furthest_proved(double share, double limit, double length, Prove&& prove) {
    double reached = share;
    // The end of the shortest range that failed: the change lies before.
    double failed = std::numeric_limits<double>::infinity();
    int failures = 0;
    for (;;) {
        const double last = std::min(reached + length, limit);
        if (last < reached + shortest_range || failures == most_failures) {
            return reached;
        }
        const RangeCheck check = prove(reached + 1, last);
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

}  // namespace quorin::detail
