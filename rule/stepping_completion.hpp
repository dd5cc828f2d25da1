// The fixed-budget runs a completion makes, and the completion that takes
// every whole step with them: the skipping completion's reference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "add_one.hpp"
#include "election.hpp"
#include "fixed_budget.hpp"
#include "interruption.hpp"

namespace quorin::detail {

struct CompletionCounts {
    std::size_t runs = 0;          // fixed-budget runs
    std::size_t range_proofs = 0;  // attempts at proving a range of shares
};

// A completion's `run_at(budget, winners)`: each run counted in `counts`,
// when given, then preceded by a poll, so that a poll sees the run it is
// about to allow already counted.
class CompletionRuns {
public:
    CompletionRuns(const Election& election, const Interruption& interruption,
                   CompletionCounts* counts)
        : election_(election), interruption_(interruption), counts_(counts) {}

    void operator()(double budget, std::vector<std::uint32_t>& winners) {
        if (counts_ != nullptr) {
            ++counts_->runs;
        }
        interruption_.poll();
        run_fixed_budget(election_, budget, workspace_, winners, interruption_);
    }

private:
    const Election& election_;
    const Interruption& interruption_;
    CompletionCounts* counts_;
    Workspace workspace_;
};

// Hears nothing of the runs.
struct IgnoreWinners {
    void operator()(const std::vector<std::uint32_t>&) const {}
};

// The completion one whole step at a time. `after_run(winners)` hears each
// run's winners as soon as it ends.
template <class AfterRun = IgnoreWinners>
std::vector<std::uint32_t> complete_add_one_stepping(const Election& election, double total_budget,
                                                     const Interruption& interruption = {},
                                                     CompletionCounts* counts = nullptr,
                                                     AfterRun&& after_run = {}) {
    CompletionRuns runs(election, interruption, counts);
    return complete_add_one(election, total_budget,
                            [&](double budget, std::vector<std::uint32_t>& winners) {
                                runs(budget, winners);
                                after_run(std::as_const(winners));
                            });
}

}  // namespace quorin::detail
