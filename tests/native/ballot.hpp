// Shared by the native tests: an election as callers pass it, keyed by
// strings, and its translation into the rule's dense arrays.
#pragma once

#include <vector>

#include "election.hpp"
#include "equal_shares.hpp"

struct Ballot {
    std::vector<quorin::VoterId> voters;
    std::vector<quorin::ProjectId> projects;
    quorin::CostMap cost;
    quorin::ApproverUtilityMap approvers;
    quorin::TotalUtilityMap totals;
    double budget = 0.0;
};

// Each project's total utility, the sum of its pairs' utilities, as in
// well-formed input.
inline void sum_totals(Ballot& b) {
    for (const auto& [project, pairs] : b.approvers) {
        b.totals[project] = 0;
        for (const auto& pair : pairs) {
            b.totals[project] += pair.second;
        }
    }
}

inline quorin::detail::Election prepared(const Ballot& b) {
    return quorin::detail::prepare_election(b.voters, b.projects, b.cost, b.approvers, b.totals);
}
