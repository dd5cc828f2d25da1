// quorin_stepping: a test-only extension, built for the tests and never
// installed. It offers the add-one completion that reruns the rule at every
// whole step, against which the skipping completion is checked. Stepping
// can take very long, so it gives up (ValueError) after `max_runs` runs.
// It also offers both completions polling for signals, as a caller that
// lets Ctrl-C end a call would, and the module's two functions as
// pybind11's stock casters convert them, against which the module's own
// conversion is checked.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <stdexcept>

#include "add_one.hpp"
#include "election.hpp"
#include "equal_shares.hpp"
#include "fixed_budget.hpp"
#include "interruption.hpp"
#include "outcomes.hpp"
#include "pending_signals.hpp"
#include "skipping_completion.hpp"

namespace py = pybind11;
using namespace quorin;

namespace {

std::vector<ProjectId> ids_of(const detail::Election& election, const std::vector<std::uint32_t>& outcome) {
    std::vector<ProjectId> ids;
    for (std::uint32_t c : outcome) {
        ids.push_back(*election.candidates[c].id);
    }
    return ids;
}

std::vector<ProjectId> equal_shares_add1_stepping(const std::vector<VoterId>& voters,
                                                  const std::vector<ProjectId>& projects,
                                                  const CostMap& cost,
                                                  const ApproverUtilityMap& approvers_utilities,
                                                  const TotalUtilityMap& total_utility,
                                                  double total_budget, std::size_t max_runs) {
    const detail::Election election =
        detail::prepare_election(voters, projects, cost, approvers_utilities, total_utility);
    detail::reject_nan_budget(total_budget);
    detail::Workspace workspace;
    std::size_t runs = 0;
    const std::vector<std::uint32_t> outcome = detail::complete_add_one(
        election, total_budget, [&](double budget, std::vector<std::uint32_t>& winners) {
            if (++runs > max_runs) {
                throw std::length_error("stepping needs more runs than allowed");
            }
            detail::run_fixed_budget(election, budget, workspace, winners);
        });
    return ids_of(election, outcome);
}

// The completion that skips steps, or (with `stepping`) the one that takes
// every step, ended by KeyboardInterrupt or whatever a signal handler raises.
std::vector<ProjectId> equal_shares_add1_interruptible(const std::vector<VoterId>& voters,
                                                       const std::vector<ProjectId>& projects,
                                                       const CostMap& cost,
                                                       const ApproverUtilityMap& approvers_utilities,
                                                       const TotalUtilityMap& total_utility,
                                                       double total_budget, bool stepping) {
    const detail::Election election =
        detail::prepare_election(voters, projects, cost, approvers_utilities, total_utility);
    const detail::Interruption& interruption = bindings::by_pending_signals;
    std::vector<std::uint32_t> outcome;
    if (stepping) {
        detail::Workspace workspace;
        outcome = detail::complete_add_one(
            election, total_budget, [&](double budget, std::vector<std::uint32_t>& winners) {
                interruption.poll();
                detail::run_fixed_budget(election, budget, workspace, winners, interruption);
            });
    } else {
        detail::CompletionCounts counts;
        outcome = detail::complete_add_one_skipping(election, total_budget, counts, interruption);
    }
    return ids_of(election, outcome);
}

}  // namespace

PYBIND11_MODULE(quorin_stepping, m) {
    m.def("equal_shares_add1_stepping", &equal_shares_add1_stepping);
    m.def("equal_shares_utils", &equal_shares_utils);
    m.def("equal_shares_add1", &equal_shares_add1);
    m.def("equal_shares_add1_interruptible", &equal_shares_add1_interruptible);
}
