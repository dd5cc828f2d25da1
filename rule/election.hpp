// The string-keyed input translated once into dense, index-based arrays,
// so that runs of the rule never hash or copy an identifier.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "equal_shares.hpp"

namespace quorin::detail {

inline constexpr std::uint32_t not_a_candidate = std::numeric_limits<std::uint32_t>::max();

// A project admitted to the running: positive cost and at least one supporter.
struct Candidate {
    const ProjectId* id;
    double cost;
    std::int64_t total_utility;
    // Its supporters are pairs [first_pair, end_pair) of the election.
    std::size_t first_pair;
    std::size_t end_pair;
};

// One entry of `projects`, as the completion's fit test reads it.
struct Listing {
    double cost;
    std::uint32_t candidate;  // not_a_candidate when never admitted
};

struct Election {
    // Entries of `voters`, duplicates included: the divisor of the budget.
    std::size_t voter_count = 0;
    // Voter slots [0, listed_voters) receive a share; the slots after them
    // are supporters missing from `voters`, who start with nothing.
    std::size_t listed_voters = 0;
    std::size_t voter_slots = 0;
    // In the order of their first listing in `projects`.
    std::vector<Candidate> candidates;
    std::vector<Listing> listings;
    // Every candidate's (voter slot, utility) pairs, in caller order.
    std::vector<std::uint32_t> pair_voter;
    std::vector<double> pair_utility;
};

// Reads the maps exactly where a fixed-budget run would, so a missing key
// throws std::out_of_range ("_Map_base::at") here and nowhere later.
Election prepare_election(const std::vector<VoterId>& voters,
                          const std::vector<ProjectId>& projects, const CostMap& cost,
                          const ApproverUtilityMap& approvers_utilities,
                          const TotalUtilityMap& total_utility);

// A voter listed twice in one candidate's pairs would bring its money twice
// and let the candidate be bought for less than it costs: such input is
// refused with std::invalid_argument naming the project.
void reject_repeated_supporters(const Election& election);

}  // namespace quorin::detail
