// The add-one completion, over any fixed-budget run `run_at(budget, winners)`
// that fills `winners` with candidate indices of `election`.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "election.hpp"

namespace quorin::detail {

inline double outcome_cost(const Election& election, const std::vector<std::uint32_t>& outcome) {
    double total = 0.0;
    for (std::uint32_t c : outcome) {
        total += election.candidates[c].cost;
    }
    return total;
}

// Whether some listed project outside `outcome` still fits beside it.
inline bool has_fitting_project(const Election& election, const std::vector<std::uint32_t>& outcome,
                                double outcome_cost, double total_budget,
                                std::vector<char>& in_outcome) {
    in_outcome.assign(election.candidates.size(), 0);
    for (std::uint32_t c : outcome) {
        in_outcome[c] = 1;
    }
    for (const Listing& listing : election.listings) {
        if (listing.candidate != not_a_candidate && in_outcome[listing.candidate]) {
            continue;
        }
        if (outcome_cost + listing.cost <= total_budget) {
            return true;
        }
    }
    return false;
}

// Rerunning stops changing the outcome of well-formed input once every
// voter's share is this large: each voter can then pay for every admitted
// project several times over. The sum of admitted costs is its first
// element, in listing order.
inline std::pair<double, double> admitted_cost_and_saturation(const Election& election) {
    double admitted_cost = 0.0;
    for (const Candidate& candidate : election.candidates) {
        admitted_cost += candidate.cost;
    }
    return {admitted_cost, 4.0 * admitted_cost};
}

// Whether a project that is never a candidate fits beside every candidate
// at once: then no outcome can ever overshoot or be exhaustive. An outcome
// sums the costs in its own order, which may round above their sum in
// listing order; the bound allows for that (summing m positive terms errs
// by less than m units of roundoff).
inline bool completion_never_settles(const Election& election, double admitted_cost,
                                     double total_budget) {
    const double roundoff = std::ldexp(1.0, -53);
    const double candidates = static_cast<double>(election.candidates.size());
    const double any_outcome_cost = admitted_cost * (1.0 + 2.0 * (candidates + 1.0) * roundoff);
    if (!(any_outcome_cost <= total_budget)) {
        return false;
    }
    for (const Listing& listing : election.listings) {
        if (listing.candidate == not_a_candidate && any_outcome_cost + listing.cost <= total_budget) {
            return true;
        }
    }
    return false;
}

// Why a completion returned the outcome it holds, and the budget of the
// run that gave that outcome.
enum class CompletionStop {
    exhaustive,  // no project outside the outcome fits beside it
    overshoot,   // the next rerun's outcome costs more than the budget
    settled,     // the outcome can no longer change as the budget grows
};

struct CompletionEnd {
    double kept_budget = 0.0;
    CompletionStop stop = CompletionStop::settled;
};

// The completion, with `run_at(budget, winners)` for the first run (and the
// run that settles a completion that would never end), `rerun_at` for each
// whole step, and `skip_ahead(virtual_budget, outcome)` giving the budget of
// the furthest step known to give the same outcome as the rerun just
// accepted, whose outcome it is; it is asked only while the completion goes
// on. `end`, when given, hears why the completion stopped.
template <class RunAt, class RerunAt, class SkipAhead>
std::vector<std::uint32_t> complete_add_one_with(const Election& election, double total_budget,
                                                 RunAt&& run_at, RerunAt&& rerun_at,
                                                 SkipAhead&& skip_ahead,
                                                 CompletionEnd* end = nullptr) {
    CompletionEnd ending{total_budget, CompletionStop::settled};
    const auto stop = [&](CompletionStop why) {
        ending.stop = why;
        if (end != nullptr) {
            *end = ending;
        }
    };
    std::vector<std::uint32_t> current;
    run_at(total_budget, current);
    if (election.voter_count == 0) {
        stop(CompletionStop::settled);
        return current;
    }
    const double voters = static_cast<double>(election.voter_count);
    const double share = total_budget / voters;
    if (std::isnan(share)) {
        stop(CompletionStop::settled);
        return current;
    }
    const double whole_share = std::trunc(share);
    const auto [admitted_cost, saturation] = admitted_cost_and_saturation(election);

    if (completion_never_settles(election, admitted_cost, total_budget)) {
        // Jump straight to the first whole share past saturation.
        const double budget =
            std::isinf(whole_share) || std::isinf(saturation)
                ? std::numeric_limits<double>::infinity()
                : voters * (whole_share + std::max(1.0, std::ceil(saturation) - whole_share));
        run_at(budget, current);
        ending.kept_budget = budget;
        stop(CompletionStop::settled);
        return current;
    }

    std::vector<std::uint32_t> next;
    std::vector<char> in_outcome;
    double current_cost = outcome_cost(election, current);
    double virtual_budget = voters * whole_share;
    bool fits = has_fitting_project(election, current, current_cost, total_budget, in_outcome);
    while (fits) {
        if (virtual_budget / voters >= saturation) {
            stop(CompletionStop::settled);
            return current;
        }
        // Beyond 2^53 a step no longer adds exactly one unit per voter (or
        // nothing at all): double precision is exhausted.
        const double raised = virtual_budget + voters;
        if (raised - virtual_budget != voters) {
            stop(CompletionStop::settled);
            return current;
        }
        virtual_budget = raised;
        rerun_at(virtual_budget, next);
        const double next_cost = outcome_cost(election, next);
        if (!(next_cost <= total_budget)) {
            stop(CompletionStop::overshoot);
            return current;
        }
        std::swap(current, next);
        current_cost = next_cost;
        ending.kept_budget = virtual_budget;
        fits = has_fitting_project(election, current, current_cost, total_budget, in_outcome);
        if (fits) {
            virtual_budget = skip_ahead(virtual_budget, current);
        }
    }
    stop(CompletionStop::exhaustive);
    return current;
}

// The completion one whole step at a time.
template <class RunAt>
std::vector<std::uint32_t> complete_add_one(const Election& election, double total_budget,
                                            RunAt&& run_at) {
    return complete_add_one_with(election, total_budget, run_at, run_at,
                                 [](double virtual_budget, const std::vector<std::uint32_t>&) {
                                     return virtual_budget;
                                 });
}

}  // namespace quorin::detail
