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

#include <cstddef>
#include <stdexcept>
#include <vector>

#include "election.hpp"
#include "equal_shares.hpp"
#include "interruption.hpp"
#include "outcomes.hpp"
#include "pending_signals.hpp"
#include "skipping_completion.hpp"
#include "stepping_completion.hpp"

namespace py = pybind11;
using namespace quorin;

namespace {

// Ends the stepping completion once it would make more than `max_runs` runs.
struct RunLimit {
    const detail::CompletionCounts& counts;
    std::size_t max_runs;

    // Polled right before each run, which is already counted then.
    static void check(void* context) {
        const RunLimit& limit = *static_cast<const RunLimit*>(context);
        if (limit.counts.runs > limit.max_runs) {
            throw std::length_error("stepping needs more runs than allowed");
        }
    }
};

std::vector<ProjectId> equal_shares_add1_stepping(const std::vector<VoterId>& voters,
                                                  const std::vector<ProjectId>& projects,
                                                  const CostMap& cost,
                                                  const ApproverUtilityMap& approvers_utilities,
                                                  const TotalUtilityMap& total_utility,
                                                  double total_budget, std::size_t max_runs) {
    const detail::Election election =
        detail::prepare_election(voters, projects, cost, approvers_utilities, total_utility);
    detail::reject_nan_budget(total_budget);
    detail::CompletionCounts counts;
    RunLimit limit{counts, max_runs};
    const detail::Interruption interruption{&RunLimit::check, &limit};
    return detail::identifiers_of(
        election, detail::complete_add_one_stepping(election, total_budget, interruption, &counts));
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
    return detail::identifiers_of(
        election, stepping ? detail::complete_add_one_stepping(election, total_budget, interruption)
                           : detail::complete_add_one_skipping(election, total_budget, interruption));
}

}  // namespace

PYBIND11_MODULE(quorin_stepping, m) {
    m.def("equal_shares_add1_stepping", &equal_shares_add1_stepping);
    m.def("equal_shares_utils", &equal_shares_utils);
    m.def("equal_shares_add1", &equal_shares_add1);
    m.def("equal_shares_add1_interruptible", &equal_shares_add1_interruptible);
}
