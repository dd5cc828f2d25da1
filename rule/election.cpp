#include "election.hpp"

#include "lookup.hpp"

#include <stdexcept>
#include <string_view>
#include <unordered_map>

namespace quorin::detail {
namespace {

std::uint32_t checked_index(std::size_t index) {
    if (index >= not_a_candidate) {
        throw std::length_error("equal shares: more than 2^32 - 1 voters or projects");
    }
    return static_cast<std::uint32_t>(index);
}

}  // namespace

Election prepare_election(const std::vector<VoterId>& voters,
                          const std::vector<ProjectId>& projects, const CostMap& cost,
                          const ApproverUtilityMap& approvers_utilities,
                          const TotalUtilityMap& total_utility) {
    Election election;
    election.voter_count = voters.size();

    std::unordered_map<std::string_view, std::uint32_t> slot_of;
    slot_of.reserve(voters.size());
    for (const VoterId& voter : voters) {
        slot_of.try_emplace(voter, checked_index(slot_of.size()));
    }
    election.listed_voters = slot_of.size();

    std::unordered_map<std::string_view, std::uint32_t> candidate_of;
    election.listings.reserve(projects.size());
    for (const ProjectId& project : projects) {
        const double project_cost = lookup(cost, project);
        Listing listing{project_cost, not_a_candidate};
        if (project_cost > 0) {
            const auto& pairs = lookup(approvers_utilities, project);
            if (!pairs.empty()) {
                const std::int64_t total = lookup(total_utility, project);
                const auto [entry, is_new] =
                    candidate_of.try_emplace(project, checked_index(election.candidates.size()));
                listing.candidate = entry->second;
                if (is_new) {
                    const std::size_t first_pair = election.pair_voter.size();
                    for (const auto& [voter, utility] : pairs) {
                        const auto slot = slot_of.try_emplace(voter, checked_index(slot_of.size()));
                        election.pair_voter.push_back(slot.first->second);
                        election.pair_utility.push_back(static_cast<double>(utility));
                    }
                    election.candidates.push_back(
                        {&project, project_cost, total, first_pair, election.pair_voter.size()});
                }
            }
        }
        election.listings.push_back(listing);
    }
    election.voter_slots = slot_of.size();
    return election;
}

}  // namespace quorin::detail
