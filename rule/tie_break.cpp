#include "equal_shares.hpp"
#include "lookup.hpp"
#include "tie_break.hpp"

namespace quorin {

ProjectId break_ties(const CostMap& cost, const TotalUtilityMap& total_utility,
                     std::vector<ProjectId> choices) {
    const std::size_t position = detail::preferred_position(
        choices, [&](const ProjectId& p) { return detail::lookup(cost, p); },
        [&](const ProjectId& p) { return detail::lookup(total_utility, p); });
    return std::move(choices[position]);
}

}  // namespace quorin
