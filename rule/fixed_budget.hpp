// One fixed-budget run of the rule over a prepared election.
#pragma once

#include <cstdint>
#include <vector>

#include "election.hpp"
#include "interruption.hpp"
#include "payment_walk.hpp"
#include "run_loop.hpp"

namespace quorin::detail {

// Buffers reused by every iteration and every run, so a run allocates
// only while they grow to the election's size.
struct Workspace {
    std::vector<double> budget;  // per voter slot
    RunState state;
    WalkBuffers walk;
};

// The winners, as candidate indices in the order they were bought.
void run_fixed_budget(const Election& election, double total_budget, Workspace& workspace,
                      std::vector<std::uint32_t>& winners, const Interruption& interruption = {});

}  // namespace quorin::detail
