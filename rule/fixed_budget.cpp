#include "fixed_budget.hpp"

#include <algorithm>

namespace quorin::detail {
namespace {

// The rule itself, in plain doubles.
struct PlainRun {
    using Number = double;

    const Election& election;
    std::vector<double>& budget;
    WalkBuffers& walk;

    static double zero() { return 0.0; }

    Examination examine(const Candidate& candidate) {
        return detail::examine(election, candidate, budget, walk);
    }

    static double votes(double cost, double payment) { return cost / payment; }
    static double price(double cost, double best_votes) { return cost / best_votes; }
    static std::int64_t stored(double votes) { return stored_value_of(votes); }
    static bool exceeds(double best_votes, std::int64_t stored) {
        return detail::exceeds(best_votes, stored);
    }
    static bool greater(double a, double b) { return a > b; }
    static bool equal(double a, double b) { return a == b; }

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
