// The Method of Equal Shares with cardinal utilities, and its add-one
// budget completion.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// The extension is built with hidden visibility; these three stay exported
// so that native callers can link against the module's shared object.
#define QUORIN_API __attribute__((visibility("default")))

namespace quorin {

// Identifiers are byte strings, compared and hashed byte for byte.
using VoterId = std::string;
using ProjectId = std::string;

using CostMap = std::unordered_map<ProjectId, double>;
// Each project's (voter, utility) pairs, in the caller's order.
using ApproverUtilityMap =
    std::unordered_map<ProjectId, std::vector<std::pair<VoterId, std::int64_t>>>;
using TotalUtilityMap = std::unordered_map<ProjectId, std::int64_t>;

// Picks one of equally good `choices`: least cost, then greatest total
// utility, then earliest in the list. Throws std::out_of_range
// ("_Map_base::at") when a needed key is missing, and std::invalid_argument
// when `choices` is empty or its first element's cost is NaN.
QUORIN_API ProjectId break_ties(const CostMap& cost,
                                const TotalUtilityMap& total_utility,
                                std::vector<ProjectId> choices);

// The winners of one fixed-budget run, in the order they were bought.
// Throws std::out_of_range ("_Map_base::at") when `cost` lacks a listed
// project, or the other maps lack a project that needs them.
QUORIN_API std::vector<ProjectId> equal_shares_utils(
    const std::vector<VoterId>& voters, const std::vector<ProjectId>& projects,
    const CostMap& cost, const ApproverUtilityMap& approvers_utilities,
    const TotalUtilityMap& total_utility, double total_budget);

// The fixed-budget outcome completed by rerunning with one more whole unit
// per voter while some project outside it still fits `total_budget`;
// returns the last rerun outcome that fitted. Throws as equal_shares_utils.
QUORIN_API std::vector<ProjectId> equal_shares_add1(
    const std::vector<VoterId>& voters, const std::vector<ProjectId>& projects,
    const CostMap& cost, const ApproverUtilityMap& approvers_utilities,
    const TotalUtilityMap& total_utility, double total_budget);

}  // namespace quorin
