#include "fixed_budget.hpp"

#include <algorithm>

namespace quorin::detail {
namespace {

// The rule itself, in plain doubles.
struct PlainRun {
    const Election& election;
    std::vector<double>& budget;
    WalkBuffers& walk;

    Examination examine(const Candidate& candidate) {
        return detail::examine(election, candidate, budget, walk);
    }

    void charge(const Candidate& winner, double price) {
        for (std::size_t i = winner.first_pair; i < winner.end_pair; ++i) {
            double& voter_budget = budget[election.pair_voter[i]];
            double payment = election.pair_utility[i] * price;
            if (payment > voter_budget) {
                payment = voter_budget;
            }
            voter_budget = voter_budget - payment;
        }
    }
};

}  // namespace

void run_fixed_budget(const Election& election, double total_budget, Workspace& ws,
                      std::vector<std::uint32_t>& winners, const Interruption& interruption) {
    ws.budget.assign(election.voter_slots, 0.0);
    if (election.voter_count > 0) {
        const double share = total_budget / static_cast<double>(election.voter_count);
        std::fill_n(ws.budget.begin(), election.listed_voters, share);
    }
    PlainRun run{election, ws.budget, ws.walk};
    run_iterations(election, run, ws.state, winners, interruption);
}

}  // namespace quorin::detail
