// One fixed-budget run of the rule over a prepared election.
#pragma once

#include <cstdint>
#include <vector>

#include "election.hpp"
#include "payment_walk.hpp"

namespace quorin::detail {

// Buffers reused by every iteration and every run, so a run allocates
// only while they grow to the election's size.
struct Workspace {
    std::vector<double> budget;              // per voter slot
    std::vector<std::int64_t> stored_value;  // per candidate
    // Candidates still running, by stored value, greatest first, equal
    // values in listing order.
    std::vector<std::uint32_t> scan_order;
    std::vector<std::uint32_t> kept;         // while the scan order is rebuilt
    std::vector<std::uint32_t> examined;
    std::vector<std::uint32_t> best;
    std::vector<std::uint32_t> unaffordable;
    std::vector<char> moved;                 // per candidate: dropped or revalued
    WalkBuffers walk;
};

// The winners, as candidate indices in the order they were bought.
void run_fixed_budget(const Election& election, double total_budget, Workspace& workspace,
                      std::vector<std::uint32_t>& winners);

}  // namespace quorin::detail
