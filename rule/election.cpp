#include "election.hpp"

#include "lookup.hpp"
#include "voter_slots.hpp"

#include <stdexcept>
#include <string_view>
#include <unordered_map>

namespace quorin::detail {

static std::uint32_t checked_index(std::size_t index) {
    if (index >= not_a_candidate) {
        throw std::length_error("equal shares: more than 2^32 - 1 projects");
    }
    return static_cast<std::uint32_t>(index);
}

// An identifier in quotes, every byte outside printable ASCII escaped, so
// that the message is always valid text whatever the bytes.
static std::string quoted(std::string_view id) {
    static const char digits[] = "0123456789abcdef";
    std::string text = "'";
    for (const char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            text += "\\x";
            text += digits[byte >> 4];
            text += digits[byte & 0xF];
        } else {
            if (byte == '\'' || byte == '\\') {
                text += '\\';
            }
            text += c;
        }
    }
    return text + "'";
}

Election prepare_election(const std::vector<VoterId>& voters,
                          const std::vector<ProjectId>& projects, const CostMap& cost,
                          const ApproverUtilityMap& approvers_utilities,
                          const TotalUtilityMap& total_utility) {
    Election election;
    election.voter_count = voters.size();

    VoterSlots slots(voters.size());
    for (const VoterId& voter : voters) {
        slots.intern(voter);
    }
    election.listed_voters = slots.names.size();

    // Sized once: every pair of the map could be needed, but no more.
    std::size_t pairs = 0;
    for (const auto& entry : approvers_utilities) {
        pairs += entry.second.size();
    }
    if (pairs >= not_a_candidate) {
        throw std::length_error("equal shares: more than 2^32 - 1 supporter pairs");
    }
    election.pair_voter.reserve(pairs);
    election.pair_utility.reserve(pairs);

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
                        election.pair_voter.push_back(slots.intern(voter));
                        election.pair_utility.push_back(static_cast<double>(utility));
                    }
                    election.candidates.push_back(
                        {&project, project_cost, total, first_pair, election.pair_voter.size()});
                }
            }
        }
        election.listings.push_back(listing);
    }
    election.voter_slots = slots.names.size();
    reject_repeated_supporters(election);
    return election;
}

void reject_repeated_supporters(const Election& election) {
    // Per voter slot, the last candidate (plus one) that listed it.
    std::vector<std::uint32_t> listed_by(election.voter_slots, 0);
    for (std::uint32_t c = 0; c < election.candidates.size(); ++c) {
        const Candidate& candidate = election.candidates[c];
        for (std::size_t i = candidate.first_pair; i < candidate.end_pair; ++i) {
            std::uint32_t& last = listed_by[election.pair_voter[i]];
            if (last == c + 1) {
                throw std::invalid_argument("approvers_utilities[" + quoted(*candidate.id) +
                                            "] lists a voter more than once");
            }
            last = c + 1;
        }
    }
}

}  // namespace quorin::detail
