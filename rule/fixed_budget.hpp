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
    std::vector<std::uint32_t> remaining;    // candidates still running, in listing order
    std::vector<std::uint32_t> scan_order;
    std::vector<std::uint32_t> best;
    std::vector<std::uint32_t> unaffordable;
    WalkBuffers walk;
    std::vector<char> dropped;               // per candidate, during one removal
};

// The winners, as candidate indices in the order they were bought.
void run_fixed_budget(const Election& election, double total_budget, Workspace& workspace,
                      std::vector<std::uint32_t>& winners);

}  // namespace quorin::detail
