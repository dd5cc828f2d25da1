// The tie-break order shared by the public break_ties (tie_break.cpp) and
// the rule's index-based runs: least cost, then greatest total utility,
// then position.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace quorin::detail {

// Position in `choices` of the preferred element. `cost_of` and `total_of`
// read an element's cost and total utility; totals are read only for the
// elements of least cost.
template <class Choices, class CostOf, class TotalOf>
std::size_t preferred_position(const Choices& choices, CostOf&& cost_of, TotalOf&& total_of) {
    if (choices.empty()) {
        throw std::invalid_argument("break_ties: no choices to pick from");
    }
    double least_cost = cost_of(choices[0]);
    for (std::size_t i = 1; i < choices.size(); ++i) {
        const double c = cost_of(choices[i]);
        if (c < least_cost) {
            least_cost = c;
        }
    }
    // A NaN first cost is never replaced and equals nothing, so no choice
    // would survive the cost filter.
    if (std::isnan(least_cost)) {
        throw std::invalid_argument("break_ties: the first choice's cost is NaN");
    }
    std::size_t preferred = 0;
    std::int64_t greatest_total = 0;
    bool found = false;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (cost_of(choices[i]) != least_cost) {
            continue;
        }
        const std::int64_t total = total_of(choices[i]);
        if (!found || total > greatest_total) {
            preferred = i;
            greatest_total = total;
            found = true;
        }
    }
    return preferred;
}

}  // namespace quorin::detail
