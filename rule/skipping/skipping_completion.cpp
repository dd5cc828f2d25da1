#include "skipping_completion.hpp"

#include <optional>

#include "add_one.hpp"
#include "proof_schedule.hpp"
#include "share_range.hpp"

namespace quorin::detail {

struct Skipper {
    const Election& election;
    CompletionCounts* counts;
    const Interruption& interruption;
    const double saturation;
    // Input outside the proofs' preconditions is stepped through.
    const bool provable = share_range_bounds_apply(election);
    ProofSchedule schedule{};
    RangeWorkspace ranges{};

    // The budget of the furthest whole step proved to give `outcome`, which
    // the rerun at `virtual_budget` gave.
    double skip_ahead(double virtual_budget, const std::vector<std::uint32_t>& outcome) {
        const double voters = static_cast<double>(election.voter_count);
        const double share = virtual_budget / voters;
        if (!provable || !schedule.worth_trying(share, outcome)) {
            return virtual_budget;
        }
        const std::optional<double> limit = furthest_share(election.voter_count, share, saturation);
        if (!limit) {
            return virtual_budget;
        }
        const double reached =
            furthest_proved(share, *limit, schedule.first_length(), [&](double first, double last) {
                if (counts != nullptr) {
                    ++counts->range_proofs;
                }
                interruption.poll();
                return outcome_holds_over(election, first, last, outcome, ranges);
            });
        schedule.jumped(reached - share);
        return reached == share ? virtual_budget : voters * reached;
    }
};

std::vector<std::uint32_t> complete_add_one_skipping(const Election& election, double total_budget,
                                                     const Interruption& interruption,
                                                     CompletionCounts* counts,
                                                     CompletionEnd* end) {
    Skipper skipper{election, counts, interruption, admitted_cost_and_saturation(election).second};
    CompletionRuns runs(election, interruption, counts);
    return complete_add_one_with(election, total_budget, runs, runs,
                                 [&](double virtual_budget, const std::vector<std::uint32_t>& outcome) {
                                     return skipper.skip_ahead(virtual_budget, outcome);
                                 },
                                 end);
}

}  // namespace quorin::detail
