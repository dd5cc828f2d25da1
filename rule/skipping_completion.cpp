#include "skipping_completion.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "add_one.hpp"
#include "fixed_budget.hpp"
#include "share_range.hpp"
#include "traced_run.hpp"

namespace quorin::detail {
namespace {

// Attempts at a shorter jump after a probe run disagrees with the estimate.
constexpr int max_probes = 3;
// A traced run costs several plain ones. After a rerun that could not skip,
// the next few reruns are plain, twice as many each time, up to this many,
// which bounds what tracing adds where skipping rarely works.
constexpr std::size_t max_plain_reruns = 128;
// A failed proof over a range costs a few runs; after it the next few
// reruns are plain, up to this many, where proofs keep failing.
constexpr std::size_t max_plain_reruns_between_ranges = 64;

// The length of the first range of shares tried; later ones follow how far
// the proofs before them reached.
constexpr double first_range = 8.0;
// A proof costs a few runs, so it waits until an outcome has held for a
// rerun; where outcomes last fewer steps than this on average, it rarely
// pays for itself, and waits for two. Until outcomes are seen, they are
// taken to last this long.
constexpr double short_segment = 8.0;
// Ranges shorter than this are stepped through instead.
constexpr double shortest_range = 2.0;
// A range proved is followed by one at most this many times as long: the
// reach a proof estimates is a guess that grows less sure with distance.
constexpr double most_growth = 16.0;

struct Skipper {
    const Election& election;
    CompletionCounts& counts;
    const Interruption& interruption;
    const double saturation;
    // Where bounds across a range of shares apply, they prove skips; for
    // other input, traced runs do.
    const bool by_ranges = share_range_bounds_apply(election);
    RangeWorkspace ranges{};
    double range = first_range;
    // The outcome of the last rerun, the share where it began, and a
    // running average of how many steps an outcome lasts.
    std::vector<std::uint32_t> segment_outcome{};
    double segment_start = std::numeric_limits<double>::infinity();
    double typical_segment = short_segment;
    // How far the last attempt at a proof for this outcome estimated a proof
    // could reach; none until one is made.
    double horizon = -std::numeric_limits<double>::infinity();
    Workspace plain{};
    TraceWorkspace traced{};
    RunTrace last{};
    RunTrace probe{{}, &last};
    std::vector<std::uint32_t> probe_winners{};
    bool last_traced = false;
    std::size_t plain_reruns = 0;       // after the next failed skip
    std::size_t plain_reruns_left = 0;

    void run_at(double budget, std::vector<std::uint32_t>& winners) {
        ++counts.runs;
        interruption.poll();
        run_fixed_budget(election, budget, plain, winners, interruption);
    }

    void rerun_at(double budget, std::vector<std::uint32_t>& winners) {
        if (by_ranges) {
            run_at(budget, winners);
            return;
        }
        last_traced = plain_reruns_left == 0;
        if (!last_traced) {
            --plain_reruns_left;
            run_at(budget, winners);
            return;
        }
        ++counts.runs;
        interruption.poll();
        trace_fixed_budget(election, budget, traced, winners, last, interruption);
    }

    double skip_ahead(double virtual_budget, const std::vector<std::uint32_t>& outcome) {
        if (by_ranges) {
            return skip_over_range(virtual_budget, outcome);
        }
        if (!last_traced) {
            return virtual_budget;
        }
        const double skipped = skip_from(virtual_budget);
        if (skipped != virtual_budget) {
            plain_reruns = 0;
        } else {
            back_off();
        }
        return skipped;
    }

    // The furthest whole share, from the share of `virtual_budget`, that a
    // skip may reach: past saturation the completion stops with the outcome
    // it holds, and whole steps n·s stay exact while the odd part of n times
    // s stays within 2^53 (soon after, a step stops adding exactly n and the
    // completion stops). None when the share itself is past either.
    std::optional<double> furthest_share(double share) const {
        std::size_t odd_part = election.voter_count;
        while (odd_part % 2 == 0) {
            odd_part /= 2;
        }
        const double largest_share = std::floor(0x1p53 / static_cast<double>(odd_part));
        if (!(std::fabs(share) < largest_share) || share >= saturation) {
            return std::nullopt;
        }
        return std::floor(std::min(largest_share, std::ceil(saturation)));
    }

    // Proves that the steps after the rerun at `virtual_budget`, which gave
    // `outcome`, give it too, as far as it can: lengths grow while ranges
    // are proved one after another, and once one fails they halve until the
    // shortest, so a stretch of N unchanged steps costs O(log N) proofs and
    // no run, whatever its length.
    double skip_over_range(double virtual_budget, const std::vector<std::uint32_t>& outcome) {
        const double voters = static_cast<double>(election.voter_count);
        const double share = virtual_budget / voters;
        note_segment(share, outcome);
        if (plain_reruns_left > 0) {
            --plain_reruns_left;
            return virtual_budget;
        }
        // A proof waits until the outcome has held for a rerun, or for two
        // where outcomes have been changing every few steps.
        if (share - segment_start < (typical_segment < short_segment ? 2 : 1)) {
            return virtual_budget;
        }
        const std::optional<double> furthest = furthest_share(share);
        if (!furthest) {
            return virtual_budget;
        }
        // Up to where the last attempt for this outcome estimated a proof
        // could reach; for a new outcome, a length like the last one proved.
        double length = range;
        if (std::isfinite(horizon)) {
            length = std::max(shortest_range, std::min(range, std::floor(horizon - share)));
        }
        // The end of the shortest range that failed: the change lies
        // before it. Failures alternate between the share where the proof's
        // lines estimate the change and halving, so that a poor estimate
        // still costs only a logarithmic number of proofs.
        double reached = share;
        double failed = std::numeric_limits<double>::infinity();
        int failures = 0;
        for (;;) {
            const double last = std::min(reached + length, *furthest);
            if (last < reached + shortest_range) {
                break;
            }
            ++counts.range_proofs;
            interruption.poll();
            const RangeCheck check = outcome_holds_over(election, reached + 1, last, outcome, ranges);
            const double estimate = std::floor((last - reached) * check.reach);
            if (check.holds) {
                reached = last;
                length = std::isinf(failed) ? std::min(estimate, most_growth * (last - share))
                                            : std::floor((failed - reached) / 2);
                continue;
            }
            failed = last;
            ++failures;
            if (estimate <= 0) {
                // Failing at its first share, only the shortest range is
                // left worth a try.
                length = length > shortest_range ? shortest_range : 0;
            } else {
                length = failures % 2 == 1 ? estimate : std::min(std::floor(length / 2), estimate);
            }
        }
        if (reached == share) {
            horizon = share + length;
            back_off();
            return virtual_budget;
        }
        horizon = -std::numeric_limits<double>::infinity();
        range = std::max(first_range, reached - share);
        plain_reruns = 0;
        return voters * reached;
    }

    // Follows how many steps outcomes last: a rerun at `share` gave
    // `outcome`.
    void note_segment(double share, const std::vector<std::uint32_t>& outcome) {
        const bool first = std::isinf(segment_start);
        if (!first && outcome == segment_outcome) {
            return;
        }
        if (!first) {
            typical_segment = (typical_segment + (share - segment_start)) / 2;
        }
        segment_outcome = outcome;
        segment_start = share;
        horizon = -std::numeric_limits<double>::infinity();
    }

    void back_off() {
        const std::size_t most = by_ranges ? max_plain_reruns_between_ranges : max_plain_reruns;
        plain_reruns = std::min(std::max<std::size_t>(1, 2 * plain_reruns), most);
        plain_reruns_left = plain_reruns;
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
        const std::optional<double> furthest = furthest_share(share);
        if (!last.certain || !furthest) {
            return virtual_budget;
        }
        double target = std::floor(std::min(last.flip_share, *furthest));
        for (int attempt = 0; attempt < max_probes && target >= share + 2; ++attempt) {
            ++counts.runs;
            interruption.poll();
            trace_fixed_budget(election, voters * target, traced, probe_winners, probe, interruption);
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
                                                     CompletionCounts& counts,
                                                     const Interruption& interruption,
                                                     CompletionEnd* end) {
    Skipper skipper{election, counts, interruption, admitted_cost_and_saturation(election).second};
    return complete_add_one_with(
        election, total_budget,
        [&](double budget, std::vector<std::uint32_t>& winners) { skipper.run_at(budget, winners); },
        [&](double budget, std::vector<std::uint32_t>& winners) { skipper.rerun_at(budget, winners); },
        [&](double virtual_budget, const std::vector<std::uint32_t>& outcome) {
            return skipper.skip_ahead(virtual_budget, outcome);
        },
        end);
}

}  // namespace quorin::detail
