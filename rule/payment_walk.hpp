// Examining one candidate: the money its supporters hold, and the payment
// walk that finds the largest equal share per unit of utility they can bear.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "election.hpp"

namespace quorin::detail {

// A supporter awaiting its turn in the walk: its budget / utility, and its
// pair's position, which orders equal quotients.
struct WalkEntry {
    double quotient;
    std::size_t position;
};

// Reused across candidates, iterations and runs; they grow to the largest
// number of supporters examined.
struct WalkBuffers {
    std::vector<WalkEntry> entries;
    std::vector<std::size_t> positions;
    std::vector<WalkEntry> negative;
    std::vector<WalkEntry> scratch;  // for sorting
};

struct Examination {
    bool affordable;
    // The maximum payment at which the walk stopped; none when no supporter
    // could bear a full share (or the candidate is unaffordable).
    std::optional<double> maximum_payment;
};

// Supporters are walked by ascending budget / utility, equal quotients in
// pair order, undefined (NaN) quotients last.
Examination examine(const Election& election, const Candidate& candidate,
                    const std::vector<double>& budget, WalkBuffers& buffers);

}  // namespace quorin::detail
