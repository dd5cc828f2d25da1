#include "fixed_budget.hpp"

#include <algorithm>

namespace quorin::detail {

void hand_out_shares(const Election& election, double total_budget, std::vector<double>& budget) {
    budget.assign(election.voter_slots, 0.0);
    if (election.voter_count > 0) {
        const double share = total_budget / static_cast<double>(election.voter_count);
        std::fill_n(budget.begin(), election.listed_voters, share);
    }
}

void run_fixed_budget(const Election& election, double total_budget, Workspace& workspace,
                      std::vector<std::uint32_t>& winners, const Interruption& interruption) {
    hand_out_shares(election, total_budget, workspace.budget);
    PlainRun run{election, workspace.budget, workspace.walk};
    run_iterations(election, run, workspace.state, winners, interruption);
}

}  // namespace quorin::detail
