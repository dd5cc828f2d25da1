// A fixed-budget run that also records every decision it takes, so that two
// runs at different per-voter shares can be shown to decide everything
// alike, and estimates the share at which a decision would first flip.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "election.hpp"
#include "run_loop.hpp"
#include "tracked.hpp"

namespace quorin::detail {

struct RunTrace {
    // Every decision's result, in the order taken, and the position of every
    // supporter visited by a payment walk, in 32-bit words.
    std::vector<std::uint32_t> decisions;
    // When set, the run is checked against this trace instead of recording
    // its own: `matches` tells whether it decided exactly alike.
    const RunTrace* reference = nullptr;
    std::size_t compared = 0;
    bool matches = true;
    // False when some decision is too close to call: its two sides lie
    // within rounding error, or depend on the share and are exactly equal.
    bool certain = true;
    // Estimated share at which some decision would first flip.
    double flip_share = std::numeric_limits<double>::infinity();
};

// A supporter in the payment walk: its budget / utility, and its pair.
struct TracedEntry {
    Tracked quotient;
    std::size_t position;
};

struct TraceWorkspace {
    std::vector<Tracked> budget;
    // Voters whose budgets went through the same operations have the same
    // history, and so equal budgets at every share.
    std::vector<std::uint64_t> history;
    std::uint64_t histories = 0;
    std::map<std::pair<std::uint64_t, double>, std::uint64_t> charged_history;
    std::vector<TracedEntry> entries;
    RunState state;
};

// Runs the rule at `total_budget` and fills `trace`; when trace.reference is
// set, compares the decisions with it instead of recording them.
void trace_fixed_budget(const Election& election, double total_budget, TraceWorkspace& workspace,
                        std::vector<std::uint32_t>& winners, RunTrace& trace,
                        const Interruption& interruption);

}  // namespace quorin::detail