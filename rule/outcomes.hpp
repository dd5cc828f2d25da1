// The rule's two outcomes over an election prepared by the caller, as
// candidate indices: what the public functions compute once their input is
// translated. Both refuse a NaN budget (std::invalid_argument), which would
// make every project look affordable.
#pragma once

#include <cstdint>
#include <vector>

#include "election.hpp"
#include "interruption.hpp"

namespace quorin::detail {

// Throws std::invalid_argument for a NaN budget.
void reject_nan_budget(double total_budget);

// `interruption` is asked between runs and inside long ones.
std::vector<std::uint32_t> fixed_budget_outcome(const Election& election, double total_budget,
                                                const Interruption& interruption = {});

std::vector<std::uint32_t> add_one_outcome(const Election& election, double total_budget,
                                           const Interruption& interruption = {});

// The winners' identifiers, in order.
std::vector<ProjectId> identifiers_of(const Election& election,
                                      const std::vector<std::uint32_t>& outcome);

}  // namespace quorin::detail
