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

inline quorin::detail::Election prepared(const Ballot& b) {
    return quorin::detail::prepare_election(b.voters, b.projects, b.cost, b.approvers, b.totals);
}
