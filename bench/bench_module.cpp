// quorin_bench: a benchmark-only extension, built beside the module and
// never installed. It gives the floor of the interface (converting the six
// arguments and nothing else), times the fixed-budget runs of the completion
// that takes every whole step, and counts the runs of the one that skips
// steps, without adding anything to quorinbindings itself.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <set>

#include "add_one.hpp"
#include "election.hpp"
#include "equal_shares.hpp"
#include "fixed_budget.hpp"
#include "skipping_completion.hpp"

namespace py = pybind11;
using namespace quorin;

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Same parameter and result types as the rule's functions, so pybind11
// converts exactly what a real call converts.
std::vector<ProjectId> convert_only(const std::vector<VoterId>&, const std::vector<ProjectId>&,
                                    const CostMap&, const ApproverUtilityMap&,
                                    const TotalUtilityMap&, double) {
    return {};
}

py::dict completion_profile(const std::vector<VoterId>& voters,
                            const std::vector<ProjectId>& projects, const CostMap& cost,
                            const ApproverUtilityMap& approvers_utilities,
                            const TotalUtilityMap& total_utility, double total_budget) {
    const Clock::time_point prepare_start = Clock::now();
    const detail::Election election =
        detail::prepare_election(voters, projects, cost, approvers_utilities, total_utility);
    const double prepare_seconds = seconds_since(prepare_start);

    detail::Workspace workspace;
    std::set<std::vector<std::uint32_t>> distinct;
    std::size_t runs = 0;
    double run_seconds = 0.0;
    const std::vector<std::uint32_t> outcome = detail::complete_add_one(
        election, total_budget, [&](double budget, std::vector<std::uint32_t>& winners) {
            const Clock::time_point start = Clock::now();
            detail::run_fixed_budget(election, budget, workspace, winners);
            run_seconds += seconds_since(start);
            ++runs;
            distinct.insert(winners);
        });

    detail::CompletionCounts skipping;
    const Clock::time_point skipping_start = Clock::now();
    const std::vector<std::uint32_t> skipped =
        detail::complete_add_one_skipping(election, total_budget, skipping);
    const double skipping_seconds = seconds_since(skipping_start);

    py::dict profile;
    profile["skipping_runs"] = skipping.runs;
    profile["range_proofs"] = skipping.range_proofs;
    profile["skipping_seconds"] = skipping_seconds;
    profile["skipping_agrees"] = skipped == outcome;
    profile["distinct_outcomes"] = distinct.size();
    profile["runs"] = runs;
    profile["run_seconds"] = run_seconds;
    profile["prepare_seconds"] = prepare_seconds;
    profile["winners"] = outcome.size();
    return profile;
}

}  // namespace

PYBIND11_MODULE(quorin_bench, m) {
    m.def("convert_only", &convert_only);
    m.def("completion_profile", &completion_profile);
}
