#include "share_range.hpp"

#include "rounding.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace quorin::detail {

// Lines compared across the whole range, which their ends settle.
static bool strictly_under_throughout(const Line& a, const Line& b) {
    return a.first < b.first && a.last < b.last;
}
static bool never_over(const Line& a, const Line& b) { return a.first <= b.first && a.last <= b.last; }

// The value of a line at a fraction of the range.
static double value_at(const Line& line, double part) { return line.first + (line.last - line.first) * part; }
// A bound on the magnitudes that computing `value_at` rounds, for a part
// within the range.
static double value_at_magnitude(const Line& line, double part) {
    return std::fabs(line.first) + 2.0 * part * (std::fabs(line.first) + std::fabs(line.last));
}
// The value at a fraction of the range, rounded down or up by more than
// computing it can err.
static double rounded_down_value_at(const Line& line, double part) {
    return rounded_down(value_at(line, part), value_at_magnitude(line, part));
}
static double rounded_up_value_at(const Line& line, double part) {
    return rounded_up(value_at(line, part), value_at_magnitude(line, part));
}

// The part of the range, from its first share, over which line `a` stays
// below line `b`, extended past the range's end where they do not cross.
static double part_kept(const Line& a, const Line& b) {
    const double gap_first = b.first - a.first;
    const double gap_last = b.last - a.last;
    if (!(gap_first > 0)) {
        return 0.0;
    }
    return gap_last < gap_first ? gap_first / (gap_first - gap_last)
                                : std::numeric_limits<double>::infinity();
}

// The lowest and the highest of two quantities, each between two lines,
// again lie between two lines: the minimum of two lines is concave and the
// maximum convex, so the chords through their ends bound them.
static Band band_around_both(const Band& a, const Band& b) {
    return {{std::min(a.low.first, b.low.first), std::min(a.low.last, b.low.last)},
            {std::max(a.high.first, b.high.first), std::max(a.high.last, b.high.last)}};
}

// A line's value at a fraction of the range, bounded as above, but exact
// where computing it cannot err: at the range's ends, and along a constant.
static double upper_bound_at(const Line& line, double part) {
    return part == 0 || line.first == line.last ? line.first
           : part == 1                          ? line.last
                                                : rounded_up_value_at(line, part);
}
static double lower_bound_at(const Line& line, double part) {
    return part == 0 || line.first == line.last ? line.first
           : part == 1                          ? line.last
                                                : rounded_down_value_at(line, part);
}

// Where line `a` meets line `b`, as a fraction of the range: infinite where
// they run parallel, not a number where they are one.
static double meeting(const Line& a, const Line& b) {
    return (b.first - a.first) / ((a.last - a.first) - (b.last - b.first));
}

// Whether the ceiling stays under line `b` (or at most on it) over the part
// [from, to] of the range: one of its lines does across the whole part, or
// one does up to a share where another, under `b` from there to the end,
// takes over. Each line is checked at the ends of the part it covers, so a
// handover share computed a little off only makes the answer no.
static bool ceiling_under(const Ceiling& a, const Line& b, double from, double to, bool strictly) {
    const auto under_at = [&](const Line& line, double part) {
        const double value = upper_bound_at(line, part);
        const double bound = lower_bound_at(b, part);
        return strictly ? value < bound : value <= bound;
    };
    for (std::size_t i = 0; i < a.count; ++i) {
        const Line& leaving = a.lines[i];
        if (!under_at(leaving, from)) {
            continue;
        }
        if (under_at(leaving, to)) {
            return true;
        }
        for (std::size_t j = 0; j < a.count; ++j) {
            const Line& coming = a.lines[j];
            if (j == i || !under_at(coming, to)) {
                continue;
            }
            const double handover = (meeting(leaving, b) + meeting(coming, b)) / 2;
            if (handover > from && handover < to && under_at(leaving, handover) &&
                under_at(coming, handover)) {
                return true;
            }
        }
    }
    return false;
}

// The part of the range, from `from` on, over which the ceiling would stay
// under line `b` were its lines exact: up to where the last of the lines
// under `b` at `from` leaves it, unless another has come under it to stay
// by then; past the range's end where none leaves.
static double ceiling_kept(const Ceiling& a, const Line& b, double from) {
    double leaves = from;
    double stays_from = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < a.count; ++i) {
        const Line& line = a.lines[i];
        const double gap = value_at(b, from) - value_at(line, from);
        const double closing = (line.last - line.first) - (b.last - b.first);
        if (gap > 0) {
            leaves = std::max(leaves, closing > 0 ? meeting(line, b) : std::numeric_limits<double>::infinity());
        } else if (closing < 0) {
            stays_from = std::min(stays_from, meeting(line, b));
        }
    }
    return stays_from < leaves ? std::numeric_limits<double>::infinity() : leaves;
}

// Whole parts a line may take over the range before its bound is given up
// on: each is checked apart, at about the cost of a comparison of lines.
constexpr double most_wholes = 64;
// A part of the range past its end: nowhere.
constexpr double never = 2.0;
// Stands for a walk that found no payment: no supporter lies below it.
constexpr double not_a_payment = std::numeric_limits<double>::quiet_NaN();

// A stored value is the truncation of a count v >= 0, its whole part, so it
// is bounded by the whole parts of the lines that bound the count. Over the
// range the whole part of a line takes few values; each comes with a part
// [t0, t1] of the range (fractions of it, widened by more than computing
// them can err) that holds every share where it is taken. Calls
// check(k, t0, t1) for each value k, and gives up (none) when there are
// too many.
template <class Check>
static std::optional<bool> each_whole_part(const Line& line, Check&& check) {
    const double first_whole = std::floor(std::min(line.first, line.last));
    const double last_whole = std::floor(std::max(line.first, line.last));
    if (!(last_whole - first_whole <= most_wholes) || !(std::fabs(first_whole) < largest_votes) ||
        !(std::fabs(last_whole) < largest_votes)) {
        return std::nullopt;
    }
    bool all = true;
    for (double k = first_whole; k <= last_whole; ++k) {
        double t0 = 0.0;
        double t1 = 1.0;
        if (line.first != line.last) {
            const double rise = line.last - line.first;
            const double at_k = (k - line.first) / rise;
            const double at_next = (k + 1 - line.first) / rise;
            const double margin =
                allowance(std::fabs(k) + 1 + std::fabs(line.first) + std::fabs(line.last)) / std::fabs(rise);
            t0 = std::clamp(std::min(at_k, at_next) - margin, 0.0, 1.0);
            t1 = std::clamp(std::max(at_k, at_next) + margin, 0.0, 1.0);
        }
        all = check(k, t0, t1) && all;
    }
    return all;
}

// A range that held reaches at least its own length. One that failed
// reaches at most this much of it, so that a range aimed by its reach is
// shorter than the one that failed.
constexpr double failed_reach_at_most = 0.9;

class RangeRun {
public:
    RangeRun(const Election& election, RangeWorkspace& workspace) : election_(election), workspace_(workspace) {}

    // The part of the range before the first two lines compared would
    // cross, were they exact: a guess at how far a proof could reach.
    double reach() const { return reach_; }

    // The budgets are bounded in `workspace_`; replays the outcome's iterations.
    bool holds(const std::vector<std::uint32_t>& outcome) {
        for (std::uint32_t winner : outcome) {
            // Once the proof has failed and its reach is down to nothing,
            // the rest of the replay can tell nothing more.
            if (!workspace_.present[winner] || !settles_iteration(winner) || (!proved_ && !(reach_ > 0))) {
                return false;
            }
        }
        // The iteration after the last purchase must find nothing.
        for (std::uint32_t c = 0; c < election_.candidates.size(); ++c) {
            if (!workspace_.present[c]) {
                continue;
            }
            if (!evaluate(c)) {
                return false;
            }
            stays_under(workspace_.offers[c].money.high, cost_line(c), true);
        }
        return proved_;
    }

private:
    const Election& election_;
    RangeWorkspace& workspace_;
    // A comparison that fails leaves the proof failed, but the replay goes
    // on where it can, so that the reach estimate covers every comparison.
    bool proved_ = true;
    double reach_ = std::numeric_limits<double>::infinity();

    // Requires a < b (or a <= b) across the range; notes where they would
    // cross.
    void stays_under(const Line& a, const Line& b, bool strictly) {
        reach_ = std::min(reach_, part_kept(a, b));
        proved_ = proved_ && (strictly ? strictly_under_throughout(a, b) : never_over(a, b));
    }

    Line cost_line(std::uint32_t c) const {
        const double cost = election_.candidates[c].cost;
        return {cost, cost};
    }

    // The earliest part of the range (a fraction of it; `never` for none)
    // where `c` may come before `d` in the scan: by a greater stored value,
    // or an equal one and an earlier listing.
    double ahead_from(std::uint32_t c, std::uint32_t d) const {
        const Line& own = workspace_.stored[c].high;
        const Line& other = workspace_.stored[d].low;
        double earliest = never;
        const auto note = [&](double k, double t0, double t1) {
            const double least = std::floor(std::min(lower_bound_at(other, t0), lower_bound_at(other, t1)));
            if (c < d ? k >= least : k > least) {
                earliest = std::min(earliest, t0);
            }
            return true;
        };
        if (!each_whole_part(own, note)) {
            // floor(own) <= own <= other - 1 < floor(other).
            return never_over(own, {other.first - 1, other.last - 1}) ? never : 0.0;
        }
        return earliest;
    }

    // The earliest part of the range where c's stored value may reach
    // `votes`, so that the scan need not stop before c once they are best.
    double unstopped_from(std::uint32_t c, const Line& votes) const {
        const Line& own = workspace_.stored[c].high;
        double earliest = never;
        const auto note = [&](double k, double t0, double t1) {
            if (k >= std::min(rounded_down_value_at(votes, t0), rounded_down_value_at(votes, t1))) {
                earliest = std::min(earliest, t0);
            }
            return true;
        };
        if (!each_whole_part(own, note)) {
            return strictly_under_throughout(own, votes) ? never : 0.0;
        }
        return earliest;
    }

    // Whether the ceiling `a` stays at most the whole part of line `stored`
    // over the part of the range from `start`; notes where the first
    // failure begins.
    bool under_whole_part(const Ceiling& a, const Line& stored, double start, double& kept) const {
        kept = std::numeric_limits<double>::infinity();
        const auto within = [&](double k, double t0, double t1) {
            t0 = std::max(t0, start);
            if (t0 > t1) {
                return true;
            }
            const Line whole{k, k};
            if (ceiling_under(a, whole, t0, t1, false)) {
                return true;
            }
            kept = std::min(kept, std::min(t1, ceiling_kept(a, whole, t0)));
            return false;
        };
        if (const std::optional<bool> all = each_whole_part(stored, within)) {
            return *all;
        }
        // floor(stored) > stored - 1.
        const Line lowered{rounded_down(stored.first - 1), rounded_down(stored.last - 1)};
        kept = ceiling_kept(a, lowered, start);
        return ceiling_under(a, lowered, start, 1.0, false);
    }

    // The scan reaches `c` at every share if every contender that may come
    // first offers no more votes than c's stored value: the best count
    // then never exceeds the stored value of any candidate before c.
    bool always_reached(std::uint32_t c, std::uint32_t winner) const {
        const Band& stored = workspace_.stored[c];
        if (!(stored.low.first >= 0 && stored.low.last >= 0)) {
            return false;
        }
        const auto offers_at_most_stored = [&](std::uint32_t d) {
            double kept = 0.0;
            return d == c || !workspace_.offers[d].maybe_affordable || ahead_from(d, c) > 1 ||
                   under_whole_part(workspace_.offers[d].votes_under, stored.low, 0.0, kept);
        };
        return offers_at_most_stored(winner) &&
               std::all_of(workspace_.contenders.begin(), workspace_.contenders.end(), offers_at_most_stored);
    }

    // Whether `c`, wherever it has a count, offers fewer votes than the
    // winner, or exactly as many with the tie-break preferring the winner:
    // by cost, by total utility, or by coming first in the scan everywhere.
    bool loses_for_certain(std::uint32_t c, std::uint32_t winner) const {
        const Offer& offer = workspace_.offers[c];
        const Offer& winning = workspace_.offers[winner];
        if (!offer.votes_fixed || !winning.votes_fixed || offer.fixed_votes > winning.fixed_votes) {
            return false;
        }
        if (offer.fixed_votes < winning.fixed_votes) {
            return true;
        }
        const Candidate& own = election_.candidates[c];
        const Candidate& won = election_.candidates[winner];
        if (won.cost != own.cost) {
            return won.cost < own.cost;
        }
        if (won.total_utility != own.total_utility) {
            return won.total_utility > own.total_utility;
        }
        return ahead_from(c, winner) > 1;
    }

    // Whether, at every share, the iteration buys `winner` and leaves the
    // other candidates within the stored bounds set for the next one.
    bool settles_iteration(std::uint32_t winner) {
        if (!evaluate(winner)) {
            return false;
        }
        const Offer& winning = workspace_.offers[winner];
        const Line& winner_stored = workspace_.stored[winner].low;
        stays_under(cost_line(winner), winning.money.low, false);
        if (!winning.votes_everywhere) {
            return false;
        }
        stays_under({0, 0}, winner_stored, false);
        workspace_.contenders.clear();
        for (std::uint32_t c = 0; c < election_.candidates.size(); ++c) {
            if (!workspace_.present[c] || c == winner) {
                continue;
            }
            // Where it is behind the winner with a stored value below the
            // winner's votes, the scan stops before it.
            const double ahead = ahead_from(c, winner);
            const double reached = std::min(ahead, unstopped_from(c, winning.votes.low));
            if (reached > 1) {
                continue;
            }
            if (!evaluate(c)) {
                return false;
            }
            workspace_.contenders.push_back(c);
            const Offer& offer = workspace_.offers[c];
            if (!offer.maybe_affordable) {
                continue;
            }
            // Where it is ahead, it must not stop the scan before the
            // winner; where it is examined, it must not match or beat it.
            if (ahead <= 1) {
                double kept = 0.0;
                proved_ = under_whole_part(offer.votes_under, winner_stored,
                                           std::max(ahead, offer.affordable_from), kept) &&
                          proved_;
                reach_ = std::min(reach_, kept);
            }
            if (loses_for_certain(c, winner)) {
                continue;
            }
            const double examined_from = std::max(reached, offer.affordable_from);
            reach_ = std::min(reach_, ceiling_kept(offer.votes_under, winning.votes.low, examined_from));
            proved_ = ceiling_under(offer.votes_under, winning.votes.low, examined_from, 1.0, true) && proved_;
        }

        // Stored values after the iteration: the new one where the
        // candidate is examined at every share, else either.
        for (std::uint32_t c : workspace_.contenders) {
            const Offer& offer = workspace_.offers[c];
            const bool reached = always_reached(c, winner);
            Band& next = workspace_.next_stored[c];
            next = workspace_.stored[c];
            if (!offer.maybe_affordable) {
                workspace_.present[c] = !reached;
                continue;
            }
            const Band& fresh = offer.votes;
            next = reached && offer.votes_everywhere ? fresh : band_around_both(next, fresh);
        }
        for (std::uint32_t c : workspace_.contenders) {
            workspace_.stored[c] = workspace_.next_stored[c];
        }
        workspace_.present[winner] = 0;
        charge(election_.candidates[winner], winning.payment);
        return true;
    }

    // Bounds what examining candidate `c` gives anywhere in the range into
    // workspace_.offers[c]; false when they cannot be bounded.
    bool evaluate(std::uint32_t c) {
        const Candidate& candidate = election_.candidates[c];
        Offer& offer = workspace_.offers[c];
        offer.votes_fixed = false;
        const double cost = candidate.cost;
        const auto total_utility = static_cast<double>(candidate.total_utility);
        const std::size_t supporters = candidate.end_pair - candidate.first_pair;

        // Sums in pair order, as the run sums the money available.
        double low_first = 0.0;
        double low_last = 0.0;
        double high_first = 0.0;
        double high_last = 0.0;
        double largest_budget = 0.0;
        double budget_total = 0.0;  // of the larger end of each line
        // Utility of the supporters who hold something somewhere in the range.
        double holding_utility = total_utility;
        for (std::size_t i = candidate.first_pair; i < candidate.end_pair; ++i) {
            const std::uint32_t voter = election_.pair_voter[i];
            low_first += workspace_.low_first[voter];
            low_last += workspace_.low_last[voter];
            high_first += workspace_.high_first[voter];
            high_last += workspace_.high_last[voter];
            const double highest = std::max(workspace_.high_first[voter], workspace_.high_last[voter]);
            largest_budget = std::max(largest_budget, highest);
            budget_total += highest;
            holding_utility -= highest == 0 ? election_.pair_utility[i] : 0.0;
        }
        const double sum_error = sum_error_of(supporters, budget_total);
        offer.money = {{low_first - sum_error, low_last - sum_error},
                       {high_first + sum_error, high_last + sum_error}};
        const Line cost_line{cost, cost};
        offer.maybe_affordable = !strictly_under_throughout(offer.money.high, cost_line);
        if (!offer.maybe_affordable) {
            return true;
        }
        // With that much to spare the walk stops at every share too: its
        // last supporter can always bear what is left.
        offer.votes_everywhere = never_over(cost_line, offer.money.low);
        // A lone supporter's walk computes one payment only, where it stops.
        if (supporters == 1) {
            offer.votes_fixed = true;
            offer.fixed_votes = cost / (cost / total_utility);
        }
        // Before the money can reach the cost, the candidate is unaffordable.
        const Line& most = offer.money.high;
        offer.affordable_from =
            most.first >= cost ? 0.0 : std::clamp(rounded_down((cost - most.first) / (most.last - most.first)), 0.0, 1.0);

        // The exact maximum payment falls as any budget rises, and along
        // budgets that move on a line it is the largest of the payments
        // (cost - money of S) / (utility outside S) over the supporters S
        // who pay all they hold: a convex function of the share. Below the
        // lowest budgets it is under the chord of the walks at the range's
        // ends; above the highest, any one S bounds it from below.
        double upper_first = std::numeric_limits<double>::infinity();
        double upper_last = upper_first;
        // Sets S that bound the payment from below: those of the walks made
        // here, and the empty set, whose payment cost / total utility is
        // the least of all.
        std::optional<double> payment_first;
        std::optional<double> payment_last;
        const std::vector<double>* first_budgets = &workspace_.low_first;
        const std::vector<double>* last_budgets = &workspace_.low_last;
        if (offer.votes_everywhere) {
            // Where the payment is the same at every share, no walk is needed.
            if (const auto payment = fixed_payment(candidate, holding_utility)) {
                const double votes = cost / *payment;
                offer.payment = {{*payment, *payment}, {*payment, *payment}};
                offer.votes = {{votes, votes}, {votes, votes}};
                offer.votes_under = {{offer.votes.high}, 1};
                offer.votes_fixed = true;
                offer.fixed_votes = votes;
                return true;
            }
            payment_first = examine(election_, candidate, workspace_.low_first, workspace_.walk).maximum_payment;
            payment_last = examine(election_, candidate, workspace_.low_last, workspace_.walk).maximum_payment;
            if (!payment_first || !payment_last) {
                return false;
            }
        } else {
            first_budgets = &workspace_.high_first;
            last_budgets = &workspace_.high_last;
            payment_first = examine(election_, candidate, workspace_.high_first, workspace_.walk).maximum_payment;
            payment_last = examine(election_, candidate, workspace_.high_last, workspace_.walk).maximum_payment;
        }
        const double error = walk_error(cost, budget_total, largest_budget, total_utility,
                                        std::max(payment_first.value_or(0.0), payment_last.value_or(0.0)),
                                        supporters);
        if (offer.votes_everywhere) {
            upper_first = rounded_up(*payment_first + error);
            upper_last = rounded_up(*payment_last + error);
        }

        const double least = rounded_down(cost / total_utility - error);
        Line lower{least, least};
        // Each of these lines bounds the payment from below, so each gives
        // a line over the votes; the band keeps the one highest overall.
        offer.votes_under.count = 0;
        const auto consider = [&](const Line& line) {
            if (!(line.first > 0 && line.last > 0)) {
                return;
            }
            offer.votes_under.lines[offer.votes_under.count++] = {rounded_up(cost / line.first), rounded_up(cost / line.last)};
            if (line.first + line.last > lower.first + lower.last) {
                lower = line;
            }
        };
        consider(lower);
        const std::array<Line, 2> without = payments_without(
            candidate, *first_budgets, payment_first.value_or(not_a_payment), *last_budgets,
            payment_last.value_or(not_a_payment), error);
        if (payment_first) {
            consider(without[0]);
        }
        if (payment_last) {
            consider(without[1]);
        }
        const double lower_first = lower.first;
        const double lower_last = lower.last;
        if (!(lower_first > 0 && lower_last > 0)) {
            return false;
        }
        offer.payment = {{lower_first, lower_last}, {upper_first, upper_last}};

        // Votes are cost / payment: convex in the share along either line,
        // so under the chord of the lower payment's and over the tangent of
        // the upper payment's at the first share.
        offer.votes.high = {rounded_up(cost / lower_first), rounded_up(cost / lower_last)};
        if (!(offer.votes.high.first < largest_votes && offer.votes.high.last < largest_votes)) {
            return false;
        }
        if (offer.votes_everywhere) {
            const double at_first = cost / upper_first;
            const double tangent_last = cost * (2.0 * upper_first - upper_last) / (upper_first * upper_first);
            const double magnitude = 4.0 * at_first + std::fabs(tangent_last);
            offer.votes.low = {rounded_down(at_first, magnitude), rounded_down(tangent_last, magnitude)};
        } else {
            offer.votes.low = {0.0, 0.0};
        }
        return true;
    }

    // Lines under the payment at every share. For any set S of supporters,
    // (cost - money of S) / (utility outside S) at the highest budgets is
    // one, closest where S is the supporters who pay all they hold; one
    // pass takes S from the walk at each end: those whose budget in
    // `first_budgets` lies below utility times `first_payment`, and those
    // of `last_budgets` below utility times `last_payment`. A line is not
    // positive where its S bounds nothing.
    std::array<Line, 2> payments_without(const Candidate& candidate, const std::vector<double>& first_budgets,
                                         double first_payment, const std::vector<double>& last_budgets,
                                         double last_payment, double error) const {
        // Money of each S at the first and at the last share, and the
        // utility outside it.
        double first_s_first = 0.0;
        double first_s_last = 0.0;
        double last_s_first = 0.0;
        double last_s_last = 0.0;
        double first_s_outside = static_cast<double>(candidate.total_utility);
        double last_s_outside = first_s_outside;
        for (std::size_t i = candidate.first_pair; i < candidate.end_pair; ++i) {
            const std::uint32_t voter = election_.pair_voter[i];
            const double utility = election_.pair_utility[i];
            const double high_first = workspace_.high_first[voter];
            const double high_last = workspace_.high_last[voter];
            const bool in_first_s = first_budgets[voter] < utility * first_payment;
            const bool in_last_s = last_budgets[voter] < utility * last_payment;
            first_s_first += in_first_s ? high_first : 0.0;
            first_s_last += in_first_s ? high_last : 0.0;
            first_s_outside -= in_first_s ? utility : 0.0;
            last_s_first += in_last_s ? high_first : 0.0;
            last_s_last += in_last_s ? high_last : 0.0;
            last_s_outside -= in_last_s ? utility : 0.0;
        }
        const auto line = [&](double paid_first, double paid_last, double outside) -> Line {
            if (!(outside > 0)) {
                return {0.0, 0.0};
            }
            return {rounded_down((candidate.cost - paid_first) / outside - error),
                    rounded_down((candidate.cost - paid_last) / outside - error)};
        };
        return {line(first_s_first, first_s_last, first_s_outside),
                line(last_s_first, last_s_last, last_s_outside)};
    }

    // The payment every walk stops at, where that is one and the same at
    // every share: supporters who hold exactly nothing everywhere come first
    // and pay nothing, and each other supporter can bear the payment after
    // them at the lowest budgets, compared as the walk compares it.
    // `holding_utility` is the utility of the others: whole numbers, so
    // their sum is exact in any order.
    std::optional<double> fixed_payment(const Candidate& candidate, double holding_utility) const {
        if (!(holding_utility > 0)) {
            return std::nullopt;
        }
        const double payment = candidate.cost / holding_utility;
        for (std::size_t i = candidate.first_pair; i < candidate.end_pair; ++i) {
            const std::uint32_t voter = election_.pair_voter[i];
            const bool holds_nothing = workspace_.high_first[voter] == 0 && workspace_.high_last[voter] == 0;
            const double share = election_.pair_utility[i] * payment;
            if (!holds_nothing && (share > workspace_.low_first[voter] || share > workspace_.low_last[voter])) {
                return std::nullopt;
            }
        }
        return payment;
    }

    // Charges the winner's supporters in pair order. A supporter's budget
    // after paying is max(0, budget - utility * price), which lies above
    // a line under both parts and below the chord of that convex function.
    void charge(const Candidate& winner, const Band& price) {
        for (std::size_t i = winner.first_pair; i < winner.end_pair; ++i) {
            const std::uint32_t voter = election_.pair_voter[i];
            const double utility = election_.pair_utility[i];
            const double most_first = rounded_up(utility * price.high.first);
            const double most_last = rounded_up(utility * price.high.last);
            const double least_first = rounded_down(utility * price.low.first);
            const double least_last = rounded_down(utility * price.low.last);

            double& low_first = workspace_.low_first[voter];
            double& low_last = workspace_.low_last[voter];
            const double left_first = rounded_down(low_first - most_first, std::fabs(low_first) + most_first);
            const double left_last = rounded_down(low_last - most_last, std::fabs(low_last) + most_last);
            const bool keep_line = left_first > 0;
            low_first = keep_line ? left_first : 0.0;
            low_last = keep_line ? left_last : 0.0;

            double& high_first = workspace_.high_first[voter];
            double& high_last = workspace_.high_last[voter];
            high_first = std::max(0.0, rounded_up(high_first - least_first, std::fabs(high_first) + least_first));
            high_last = std::max(0.0, rounded_up(high_last - least_last, std::fabs(high_last) + least_last));
        }
    }
};

bool share_range_bounds_apply(const Election& election) {
    for (std::size_t c = 0; c < election.candidates.size(); ++c) {
        const Candidate& candidate = election.candidates[c];
        if (candidate.cost == std::numeric_limits<double>::infinity()) {
            continue;
        }
        // Totals, and so stored values, stay below 2^52, where doubles hold
        // every whole number with room to spare.
        if (!std::isfinite(candidate.cost) || candidate.total_utility <= 0 ||
            static_cast<double>(candidate.total_utility) >= largest_votes) {
            return false;
        }
        double sum = 0.0;  // of whole numbers below 2^52: exact
        for (std::size_t i = candidate.first_pair; i < candidate.end_pair; ++i) {
            const double utility = election.pair_utility[i];
            if (!(utility >= 1.0) || !(utility < 0x1p52)) {
                return false;
            }
            sum += utility;
        }
        if (sum != static_cast<double>(candidate.total_utility)) {
            return false;
        }
    }
    return true;
}

RangeCheck outcome_holds_over(const Election& election, double first_share, double last_share,
                              const std::vector<std::uint32_t>& outcome, RangeWorkspace& workspace) {
    if (!(first_share >= 0 && first_share <= last_share)) {
        return {false, 0.0};
    }
    const std::size_t listed = election.listed_voters;
    for (std::vector<double>* line : {&workspace.low_first, &workspace.high_first}) {
        line->assign(election.voter_slots, 0.0);
        std::fill_n(line->begin(), listed, first_share);
    }
    for (std::vector<double>* line : {&workspace.low_last, &workspace.high_last}) {
        line->assign(election.voter_slots, 0.0);
        std::fill_n(line->begin(), listed, last_share);
    }
    const std::size_t candidates = election.candidates.size();
    workspace.stored.resize(candidates);
    workspace.next_stored.resize(candidates);
    workspace.offers.resize(candidates);
    workspace.present.assign(candidates, 1);
    for (std::size_t c = 0; c < candidates; ++c) {
        const auto total = static_cast<double>(election.candidates[c].total_utility);
        workspace.stored[c] = {{total, total}, {total, total}};
    }
    RangeRun run{election, workspace};
    const bool holds = run.holds(outcome);
    return {holds, holds ? std::max(1.0, run.reach()) : std::min(failed_reach_at_most, run.reach())};
}

}  // namespace quorin::detail
