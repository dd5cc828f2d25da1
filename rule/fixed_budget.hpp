// One fixed-budget run of the rule over a prepared election.
#pragma once

#include <cstdint>
#include <vector>

#include "election.hpp"
#include "interruption.hpp"
#include "payment_walk.hpp"
#include "run_loop.hpp"

namespace quorin::detail {

// Buffers reused by every iteration and every run, so a run allocates
// only while they grow to the election's size.
struct Workspace {
    std::vector<double> budget;  // per voter slot
    RunState state;
    WalkBuffers walk;
};

// The rule itself, in plain doubles: the policy of run_iterations for a
// fixed-budget run. `charge_telling` tells `paid(pair, payment, all_held)`
// of each payment, `all_held` when the voter could not bear its share.
struct PlainRun {
    const Election& election;
    std::vector<double>& budget;
    WalkBuffers& walk;

    Examination examine(const Candidate& candidate) {
        return detail::examine(election, candidate, budget, walk);
    }

    template <class Paid>
    void charge_telling(const Candidate& winner, double price, Paid&& paid) {
        for (std::size_t i = winner.first_pair; i < winner.end_pair; ++i) {
            double& voter_budget = budget[election.pair_voter[i]];
            double payment = election.pair_utility[i] * price;
            const bool all_held = payment > voter_budget;
            if (all_held) {
                payment = voter_budget;
            }
            voter_budget = voter_budget - payment;
            paid(i, payment, all_held);
        }
    }

    void charge(const Candidate& winner, double price) {
        charge_telling(winner, price, [](std::size_t, double, bool) {});
    }
};

// Every voter's share of `total_budget` in `budget`: listed voters hold it,
// supporters missing from `voters` nothing.
void hand_out_shares(const Election& election, double total_budget, std::vector<double>& budget);

// The winners, as candidate indices in the order they were bought.
void run_fixed_budget(const Election& election, double total_budget, Workspace& workspace,
                      std::vector<std::uint32_t>& winners, const Interruption& interruption = {});

}  // namespace quorin::detail
