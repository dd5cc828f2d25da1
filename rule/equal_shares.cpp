#include "equal_shares.hpp"

#include "election.hpp"
#include "fixed_budget.hpp"
#include "skipping_completion.hpp"

namespace quorin {
namespace {

std::vector<ProjectId> identifiers_of(const detail::Election& election,
                                      const std::vector<std::uint32_t>& outcome) {
    std::vector<ProjectId> ids;
    ids.reserve(outcome.size());
    for (std::uint32_t c : outcome) {
        ids.push_back(*election.candidates[c].id);
    }
    return ids;
}

}  // namespace

std::vector<ProjectId> equal_shares_utils(const std::vector<VoterId>& voters,
                                          const std::vector<ProjectId>& projects,
                                          const CostMap& cost,
                                          const ApproverUtilityMap& approvers_utilities,
                                          const TotalUtilityMap& total_utility,
                                          double total_budget) {
    const detail::Election election =
        detail::prepare_election(voters, projects, cost, approvers_utilities, total_utility);
    detail::Workspace workspace;
    std::vector<std::uint32_t> winners;
    detail::run_fixed_budget(election, total_budget, workspace, winners);
    return identifiers_of(election, winners);
}

std::vector<ProjectId> equal_shares_add1(const std::vector<VoterId>& voters,
                                         const std::vector<ProjectId>& projects,
                                         const CostMap& cost,
                                         const ApproverUtilityMap& approvers_utilities,
                                         const TotalUtilityMap& total_utility,
                                         double total_budget) {
    const detail::Election election =
        detail::prepare_election(voters, projects, cost, approvers_utilities, total_utility);
    detail::CompletionCounts counts;
    return identifiers_of(election, detail::complete_add_one_skipping(election, total_budget, counts));
}

}  // namespace quorin
