// Every allowance the range proofs make for rounding, in one place. The
// proofs bound the run's quantities as exact numbers and widen each bound
// outward by more than the run's doubles and the bounds' own arithmetic can
// err: one rounding moves a double by at most 2^-53 of its magnitude.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>

namespace quorin::detail {

// Each bound is widened by this much of the magnitudes it was computed
// from: 512 roundings' worth, which covers the few operations of the run
// and of the bound behind it, and keeps a margin for what lies between the
// range's ends, where nothing was computed. Near a change, this hides it
// within about 2^-44 of the share.
inline constexpr double slack = 0x1p-44;
// Added beside it, so that a bound moves even where the magnitude is zero
// or subnormal.
inline constexpr double tiny = std::numeric_limits<double>::min();

// Counts and stored values stay below this, where doubles are still finer
// than whole numbers, so that whole parts of their bounds bound stored
// values and can be counted one by one.
inline constexpr double largest_votes = 0x1p52;

inline double allowance(double magnitude) { return slack * magnitude; }
inline double rounded_down(double value, double magnitude) { return value - allowance(magnitude) - tiny; }
inline double rounded_up(double value, double magnitude) { return value + allowance(magnitude) + tiny; }
inline double rounded_down(double value) { return rounded_down(value, std::fabs(value)); }
inline double rounded_up(double value) { return rounded_up(value, std::fabs(value)); }

// A sum of m budgets, in any order, errs by at most m roundings of their
// total; one more covers the bound's own sum.
inline double sum_error_of(std::size_t terms, double total) {
    return (static_cast<double>(terms) + 1.0) * allowance(total);
}

// How far a payment walk in doubles can land from the exact maximum payment
// of the same budgets. Its running sum of m budgets errs by at most m
// roundings of their total; subtracting from the cost and dividing by a
// denominator of at least 1 (utilities are positive and whole) add a few;
// comparisons that round the wrong way make the walk stop a supporter early
// or late, which moves the exact payment by at most the total utility times
// the error of a quotient. The factor 64 covers the terms of lower order.
inline double walk_error(double cost, double budget_total, double largest_budget, double total_utility,
                         double payment, std::size_t supporters) {
    const double terms = static_cast<double>(supporters) + 2.0;
    return 64.0 * 0x1p-53 *
           (terms * (cost + budget_total) + 2.0 * total_utility * (largest_budget + payment));
}

}  // namespace quorin::detail
