// The payment walk: how much each supporter of a project would pay if all
// who can bear it paid an equal share per unit of utility.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "election.hpp"

namespace quorin::detail {

// A supporter awaiting its turn: its budget / utility, and its pair's
// position, which orders equal quotients.
struct WalkEntry {
    double quotient;
    std::size_t position;
};

// Reused across candidates, iterations and runs.
struct WalkBuffers {
    std::vector<WalkEntry> negative;
    std::vector<std::size_t> zero;
    std::vector<WalkEntry> positive;
    std::vector<std::size_t> undefined;
};

// The maximum payment at which the walk stops, or none when no supporter
// can bear a full share. Supporters are visited by ascending quotient,
// equal quotients in pair order, undefined (NaN) quotients last.
std::optional<double> maximum_payment(const Election& election, const Candidate& candidate,
                                      const std::vector<double>& budget, WalkBuffers& buffers);

}  // namespace quorin::detail
