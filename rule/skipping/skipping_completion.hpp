// The add-one completion that skips the whole steps whose outcome provably
// cannot change: it returns what stepping one unit at a time returns, with
// a number of runs that follows the number of distinct outcomes met. Input
// outside the proofs' preconditions (see share_range.hpp) is stepped.
#pragma once

#include <cstdint>
#include <vector>

#include "add_one.hpp"
#include "election.hpp"
#include "interruption.hpp"
#include "stepping_completion.hpp"

namespace quorin::detail {

// `interruption` is polled before every run and proof, and inside runs;
// `counts`, when given, counts both.
std::vector<std::uint32_t> complete_add_one_skipping(const Election& election, double total_budget,
                                                     const Interruption& interruption = {},
                                                     CompletionCounts* counts = nullptr,
                                                     CompletionEnd* end = nullptr);

}  // namespace quorin::detail
