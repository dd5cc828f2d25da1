// A proof that every per-voter share in a range gives one and the same
// outcome, from bounds that hold across the whole range at once instead of
// from a run at each share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "election.hpp"
#include "payment_walk.hpp"

namespace quorin::detail {

// A line over the range of shares, given by its values at the range's
// first and last share.
struct Line {
    double first;
    double last;
};

// A quantity that lies between two lines at every share of the range.
struct Band {
    Line low;
    Line high;
};

// A quantity that lies under each of a few lines at every share, so under
// their lowest; where they cross, that follows it more closely than any
// one of them.
struct Ceiling {
    std::array<Line, 3> lines;
    std::size_t count;
};

// What examining a candidate can give anywhere in the range.
struct Offer {
    bool maybe_affordable;  // at some share
    bool votes_everywhere;  // affordable, with a walk that stops, at every share
    // Where it has a count, that is fixed_votes, computed as the run does.
    bool votes_fixed;
    double fixed_votes;
    Band money;             // the money its supporters hold
    double affordable_from; // the part of the range before which it is not
    Band payment;           // the maximum payment, where it has one
    Band votes;             // its effective vote count, where it has one
    Ceiling votes_under;    // the same count, under each of these lines
};

// Reused from range to range; sized to the election.
struct RangeWorkspace {
    // Per voter slot: the lower and the upper budget line.
    std::vector<double> low_first;
    std::vector<double> low_last;
    std::vector<double> high_first;
    std::vector<double> high_last;
    // Per candidate: lines whose whole parts bound its stored value.
    std::vector<Band> stored;
    std::vector<Band> next_stored;
    std::vector<char> present;
    std::vector<Offer> offers;
    // Candidates that may be examined in the current iteration.
    std::vector<std::uint32_t> contenders;
    WalkBuffers walk;
};

// Whether the bounds hold for this election at all: they rest on positive
// whole utilities whose sum is each project's total utility, and on finite
// costs, except that a project of infinite cost is never affordable at a
// finite share and so needs nothing.
bool share_range_bounds_apply(const Election& election);

struct RangeCheck {
    bool holds;
    // Roughly how many times the range's length (below 1 when it does not
    // hold) an attempt from the same share could cover.
    double reach;
};

// Whether every share from `first_share` to `last_share` (both whole and
// non-negative) gives `outcome`. Failing means only that no proof was
// found.
RangeCheck outcome_holds_over(const Election& election, double first_share, double last_share,
                              const std::vector<std::uint32_t>& outcome, RangeWorkspace& workspace);

}  // namespace quorin::detail
