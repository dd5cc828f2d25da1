#include "equal_shares.hpp"
#include "tie_break.hpp"

namespace quorin {

ProjectId break_ties(const CostMap& cost, const TotalUtilityMap& total_utility,
                     std::vector<ProjectId> choices) {
    const std::size_t position = detail::preferred_position(
        choices, [&](const ProjectId& p) { return cost.at(p); },
        [&](const ProjectId& p) { return total_utility.at(p); });
    return std::move(choices[position]);
}

}  // namespace quorin
