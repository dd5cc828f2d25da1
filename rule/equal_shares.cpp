#include "equal_shares.hpp"

#include <cmath>
#include <stdexcept>

#include "election.hpp"
#include "fixed_budget.hpp"
#include "outcomes.hpp"
#include "skipping_completion.hpp"

namespace quorin {
namespace detail {

void reject_nan_budget(double total_budget) {
    if (std::isnan(total_budget)) {
        throw std::invalid_argument("total_budget is NaN");
    }
}

std::vector<std::uint32_t> fixed_budget_outcome(const Election& election, double total_budget,
                                                const Interruption& interruption) {
    reject_nan_budget(total_budget);
    Workspace workspace;
    std::vector<std::uint32_t> winners;
    run_fixed_budget(election, total_budget, workspace, winners, interruption);
    return winners;
}

std::vector<std::uint32_t> add_one_outcome(const Election& election, double total_budget,
                                           const Interruption& interruption) {
    reject_nan_budget(total_budget);
    return complete_add_one_skipping(election, total_budget, interruption);
}

std::vector<ProjectId> identifiers_of(const Election& election,
                                      const std::vector<std::uint32_t>& outcome) {
    std::vector<ProjectId> ids;
    ids.reserve(outcome.size());
    for (std::uint32_t c : outcome) {
        ids.push_back(*election.candidates[c].id);
    }
    return ids;
}

}  // namespace detail

std::vector<ProjectId> equal_shares_utils(const std::vector<VoterId>& voters,
                                          const std::vector<ProjectId>& projects,
                                          const CostMap& cost,
                                          const ApproverUtilityMap& approvers_utilities,
                                          const TotalUtilityMap& total_utility,
                                          double total_budget) {
    const detail::Election election =
        detail::prepare_election(voters, projects, cost, approvers_utilities, total_utility);
    return detail::identifiers_of(election, detail::fixed_budget_outcome(election, total_budget));
}

std::vector<ProjectId> equal_shares_add1(const std::vector<VoterId>& voters,
                                         const std::vector<ProjectId>& projects,
                                         const CostMap& cost,
                                         const ApproverUtilityMap& approvers_utilities,
                                         const TotalUtilityMap& total_utility,
                                         double total_budget) {
    const detail::Election election =
        detail::prepare_election(voters, projects, cost, approvers_utilities, total_utility);
    return detail::identifiers_of(election, detail::add_one_outcome(election, total_budget));
}

}  // namespace quorin
