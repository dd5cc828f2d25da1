// libFuzzer target: the fuzz input decoded into an election over small
// pools of identifiers, with costs, budgets and utilities drawn from the
// awkward values (NaN, infinities, signed zeros, huge magnitudes, the int64
// limits) as often as from ordinary ones. The three native functions run on
// it; missing keys, empty choices and refused input (a voter listed twice
// for one project, a NaN budget) are expected failures, anything else that
// escapes, and any broken result invariant, is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "equal_shares.hpp"

namespace {

using quorin::ApproverUtilityMap;
using quorin::CostMap;
using quorin::ProjectId;
using quorin::TotalUtilityMap;
using quorin::VoterId;

// Eight names each, the empty one and bytes that are not UTF-8 among them.
const std::string voter_pool[] = {"ann", "bob", "cem", "dan", "eve", "", std::string("\0", 1), "\xff"};
const std::string project_pool[] = {"Park", "Bridge", "Clinic", "Dam", "Pool", "", "\xfe", std::string("P\0", 2)};
constexpr unsigned pool_size = 8;

// Taking every step, the completion reruns the rule once per whole unit of
// per-voter share between the real share and four times the sum of the
// admitted costs (or until an outcome overshoots). With a finite budget and
// a large or infinite sum of positive costs that can be up to 2^53 reruns
// wherever steps cannot be skipped, and such inputs would stall the fuzzing;
// below this sum it is at most about a thousand.
constexpr double completion_cost_bound = 250.0;

class Decoder {
public:
    Decoder(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // Zero once the input is used up, so every input decodes.
    std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }

    unsigned below(unsigned bound) { return byte() % bound; }

    template <class T>
    T raw() {
        unsigned char bytes[sizeof(T)] = {};
        for (unsigned char& b : bytes) {
            b = byte();
        }
        T value;
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

    double number() {
        switch (below(16)) {
            case 0: return static_cast<std::int8_t>(byte());
            case 1: return byte() / 8.0;
            case 2: return std::numeric_limits<double>::quiet_NaN();
            case 3: return std::numeric_limits<double>::infinity();
            case 4: return -std::numeric_limits<double>::infinity();
            case 5: return 0.0;
            case 6: return -0.0;
            case 7: return 1e300;
            case 8: return -1e300;
            case 9: return std::numeric_limits<double>::max();
            case 10: return std::numeric_limits<double>::denorm_min();
            case 11: return raw<double>();
            case 12: return 9007199254740992.0;
            default: return byte();
        }
    }

    std::int64_t integer() {
        switch (below(8)) {
            case 0: return static_cast<std::int8_t>(byte());
            case 1: return std::numeric_limits<std::int64_t>::max();
            case 2: return std::numeric_limits<std::int64_t>::min();
            case 3: return 0;
            case 4: return raw<std::int64_t>();
            case 5: return (std::int64_t{1} << 53) + 1;
            default: return below(8);
        }
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

struct Election {
    std::vector<VoterId> voters;
    std::vector<ProjectId> projects;
    CostMap cost;
    ApproverUtilityMap approvers_utilities;
    TotalUtilityMap total_utility;
    double total_budget = 0.0;
    std::vector<ProjectId> choices;
};

std::int64_t saturating_sum(const std::vector<std::pair<VoterId, std::int64_t>>& pairs) {
    std::int64_t sum = 0;
    for (const auto& pair : pairs) {
        if (__builtin_add_overflow(sum, pair.second, &sum)) {
            return pair.second > 0 ? std::numeric_limits<std::int64_t>::max()
                                   : std::numeric_limits<std::int64_t>::min();
        }
    }
    return sum;
}

Election decode(Decoder& in) {
    Election e;
    for (unsigned i = in.below(10); i > 0; --i) {
        e.voters.push_back(voter_pool[in.below(pool_size)]);
    }
    for (unsigned i = in.below(9); i > 0; --i) {
        e.projects.push_back(project_pool[in.below(pool_size)]);
    }
    for (const std::string& project : project_pool) {
        const std::uint8_t present = in.byte();
        if (present & 1) {
            e.cost[project] = in.number();
        }
        std::vector<std::pair<VoterId, std::int64_t>> pairs;
        if (present & 2) {
            // Sometimes up to twice the voter pool, so that voters repeat
            // (which is refused) and the payment walk sees long lists;
            // otherwise each voter at most once.
            const bool repeats = (present & 16) != 0;
            unsigned listed = 0;
            for (unsigned i = in.below(2 * pool_size + 1); i > 0; --i) {
                const unsigned voter = in.below(pool_size);
                if (!repeats && (listed & (1u << voter)) != 0) {
                    continue;
                }
                listed |= 1u << voter;
                pairs.emplace_back(voter_pool[voter], in.integer());
            }
            e.approvers_utilities[project] = pairs;
        }
        if (present & 4) {
            // Mostly the sum of the utilities, as in well-formed input.
            e.total_utility[project] = (present & 8) ? in.integer() : saturating_sum(pairs);
        }
    }
    e.total_budget = in.number();
    for (unsigned i = in.below(5); i > 0; --i) {
        e.choices.push_back(project_pool[in.below(pool_size)]);
    }
    return e;
}

bool completion_is_bounded(const Election& e) {
    if (!std::isfinite(e.total_budget)) {
        return true;
    }
    double positive_costs = 0.0;
    for (const auto& entry : e.cost) {
        if (entry.second > 0) {
            positive_costs += entry.second;
        }
    }
    return positive_costs <= completion_cost_bound;
}

void require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// Winners are distinct listed projects.
void check_outcome(const Election& e, const std::vector<ProjectId>& outcome) {
    std::unordered_set<ProjectId> seen;
    for (const ProjectId& project : outcome) {
        require(seen.insert(project).second);
        bool listed = false;
        for (const ProjectId& p : e.projects) {
            listed = listed || p == project;
        }
        require(listed);
    }
}

// Positive utilities that sum to each project's total: the input the rule
// is built for, on which no outcome may cost more than the budget.
bool well_formed(const Election& e) {
    for (const auto& [project, pairs] : e.approvers_utilities) {
        for (const auto& pair : pairs) {
            if (pair.second <= 0 || pair.second > (std::int64_t{1} << 40)) {
                return false;
            }
        }
        const auto total = e.total_utility.find(project);
        if (total != e.total_utility.end() && total->second != saturating_sum(pairs)) {
            return false;
        }
    }
    return true;
}

double cost_of(const Election& e, const std::vector<ProjectId>& outcome) {
    double total = 0.0;
    for (const ProjectId& project : outcome) {
        total += e.cost.at(project);
    }
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Decoder in(data, size);
    const Election e = decode(in);

    std::vector<ProjectId> fixed;
    bool fixed_ran = false;
    bool fixed_refused = false;
    try {
        fixed = quorin::equal_shares_utils(e.voters, e.projects, e.cost, e.approvers_utilities,
                                           e.total_utility, e.total_budget);
        fixed_ran = true;
        check_outcome(e, fixed);
        // Payments are rounded, so the outcome may exceed the budget by
        // rounding alone, never by more.
        require(!well_formed(e) || !(e.total_budget >= 0) ||
                !(cost_of(e, fixed) > e.total_budget * (1 + 0x1p-30)));
        require(quorin::equal_shares_utils(e.voters, e.projects, e.cost, e.approvers_utilities,
                                           e.total_utility, e.total_budget) == fixed);
    } catch (const std::out_of_range&) {
    } catch (const std::length_error&) {
    } catch (const std::invalid_argument&) {
        fixed_refused = true;
    }

    if (completion_is_bounded(e)) {
        try {
            const std::vector<ProjectId> completed = quorin::equal_shares_add1(
                e.voters, e.projects, e.cost, e.approvers_utilities, e.total_utility,
                e.total_budget);
            // Both functions read the maps in the same setup.
            require(fixed_ran);
            check_outcome(e, completed);
            // Only the first run's outcome is kept without a cost check.
            require(completed == fixed || cost_of(e, completed) <= e.total_budget);
        } catch (const std::out_of_range&) {
            require(!fixed_ran && !fixed_refused);
        } catch (const std::length_error&) {
        } catch (const std::invalid_argument&) {
            // Both functions refuse the same input.
            require(fixed_refused);
        }
    }

    try {
        const ProjectId chosen = quorin::break_ties(e.cost, e.total_utility, e.choices);
        bool among_choices = false;
        for (const ProjectId& p : e.choices) {
            among_choices = among_choices || p == chosen;
        }
        require(among_choices);
    } catch (const std::out_of_range&) {
    } catch (const std::invalid_argument&) {
    }
    return 0;
}
