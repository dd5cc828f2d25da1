// quorin_stepping: a test-only extension, built for the tests and never
// installed. It offers the add-one completion that reruns the rule at every
// whole step, against which the skipping completion is checked. Stepping
// can take very long, so it gives up (ValueError) after `max_runs` runs.
// It also offers the module's two functions as pybind11's stock casters
// convert them, against which the module's own conversion is checked.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <stdexcept>

#include "add_one.hpp"
#include "election.hpp"
#include "equal_shares.hpp"
#include "fixed_budget.hpp"
#include "outcomes.hpp"

namespace py = pybind11;
using namespace quorin;

namespace {

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
    std::vector<ProjectId> ids;
    for (std::uint32_t c : outcome) {
        ids.push_back(*election.candidates[c].id);
    }
    return ids;
}

}  // namespace

PYBIND11_MODULE(quorin_stepping, m) {
    m.def("equal_shares_add1_stepping", &equal_shares_add1_stepping);
    m.def("equal_shares_utils", &equal_shares_utils);
    m.def("equal_shares_add1", &equal_shares_add1);
}
