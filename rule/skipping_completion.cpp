#include "skipping_completion.hpp"

#include <algorithm>
#include <cmath>

#include "add_one.hpp"
#include "fixed_budget.hpp"
#include "traced_run.hpp"

namespace quorin::detail {
namespace {

// Attempts at a shorter jump after a probe run disagrees with the estimate.
constexpr int max_probes = 3;
// A traced run costs several plain ones. After a rerun that could not skip,
// the next few reruns are plain, twice as many each time, up to this many,
// which bounds what tracing adds where skipping rarely works.
constexpr std::size_t max_plain_reruns = 128;

struct Skipper {
    const Election& election;
    std::size_t& runs;
    const double saturation;
    Workspace plain{};
    TraceWorkspace traced{};
    RunTrace last{};
    RunTrace probe{{}, &last};
    std::vector<std::uint32_t> probe_winners{};
    bool last_traced = false;
    std::size_t plain_reruns = 0;       // after the next failed skip
    std::size_t plain_reruns_left = 0;

    void run_at(double budget, std::vector<std::uint32_t>& winners) {
        ++runs;
        run_fixed_budget(election, budget, plain, winners);
    }

    void rerun_at(double budget, std::vector<std::uint32_t>& winners) {
        last_traced = plain_reruns_left == 0;
        if (!last_traced) {
            --plain_reruns_left;
            run_at(budget, winners);
            return;
        }
        ++runs;
        trace_fixed_budget(election, budget, traced, winners, last);
    }

    double skip_ahead(double virtual_budget) {
        if (!last_traced) {
            return virtual_budget;
        }
        const double skipped = skip_from(virtual_budget);
        if (skipped != virtual_budget) {
            plain_reruns = 0;
        } else {
            plain_reruns = std::min(std::max<std::size_t>(1, 2 * plain_reruns), max_plain_reruns);
            plain_reruns_left = plain_reruns;
        }
        return skipped;
    }

    // Within one run, with its decisions held fixed, every budget, payment
    // and price moves linearly with the per-voter share, so each decision
    // flips at most once as the share grows. Two runs that decide everything
    // alike, each clear of rounding, therefore bound an interval of shares
    // that all decide alike and give the same outcome. The last run's trace
    // estimates how far that interval reaches; a probe run there confirms it.
    double skip_from(double virtual_budget) {
        const double voters = static_cast<double>(election.voter_count);
        const double share = virtual_budget / voters;
        // Whole steps n·s stay exact while the odd part of n times s stays
        // within 2^53; soon after, a step stops adding exactly n and the
        // completion stops.
        std::size_t odd_part = election.voter_count;
        while (odd_part % 2 == 0) {
            odd_part /= 2;
        }
        const double largest_share = std::floor(0x1p53 / static_cast<double>(odd_part));
        if (!last.certain || !(std::fabs(share) < largest_share) || share >= saturation) {
            return virtual_budget;
        }
        // Past saturation the completion stops with the outcome it holds.
        double target = std::floor(std::min({last.flip_share, largest_share, std::ceil(saturation)}));
        for (int attempt = 0; attempt < max_probes && target >= share + 2; ++attempt) {
            ++runs;
            trace_fixed_budget(election, voters * target, traced, probe_winners, probe);
            if (probe.certain && probe.matches && probe.compared == last.decisions.size()) {
                return voters * target;
            }
            target = share + std::floor((target - share) / 4);
        }
        return virtual_budget;
    }
};

}  // namespace

std::vector<std::uint32_t> complete_add_one_skipping(const Election& election, double total_budget,
                                                     std::size_t& runs) {
    Skipper skipper{election, runs, admitted_cost_and_saturation(election).second};
    return complete_add_one_with(
        election, total_budget,
        [&](double budget, std::vector<std::uint32_t>& winners) { skipper.run_at(budget, winners); },
        [&](double budget, std::vector<std::uint32_t>& winners) { skipper.rerun_at(budget, winners); },
        [&](double virtual_budget) { return skipper.skip_ahead(virtual_budget); });
}

}  // namespace quorin::detail
