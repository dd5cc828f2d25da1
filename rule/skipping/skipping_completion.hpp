// The add-one completion that skips the whole steps whose outcome provably
// cannot change: it returns what stepping one unit at a time returns, with
// a number of runs that follows the number of distinct outcomes met. Input
// outside the proofs' preconditions (see share_range.hpp) is stepped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "add_one.hpp"
#include "election.hpp"
#include "interruption.hpp"

namespace quorin::detail {

struct CompletionCounts {
    std::size_t runs = 0;          // fixed-budget runs
    std::size_t range_proofs = 0;  // attempts at proving a range of shares
};

// `interruption` is polled before every run and proof, and inside runs.
std::vector<std::uint32_t> complete_add_one_skipping(const Election& election, double total_budget,
                                                     CompletionCounts& counts,
                                                     const Interruption& interruption = {},
                                                     CompletionEnd* end = nullptr);

}  // namespace quorin::detail