#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "equal_shares.hpp"
#include "expect_missing_key.hpp"

namespace {

using quorin::break_ties;
using quorin::CostMap;
using quorin::ProjectId;
using quorin::TotalUtilityMap;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr std::int64_t two_to_53 = std::int64_t{1} << 53;
constexpr std::int64_t int64_min = std::numeric_limits<std::int64_t>::min();

struct TieCase {
    std::string name;
    CostMap cost;
    TotalUtilityMap total_utility;
    std::vector<ProjectId> choices;
    ProjectId expected;
};

TEST(BreakTies, PrefersLeastCostThenGreatestTotalUtilityThenEarliestPosition) {
    const CostMap four_costs{{"p1", 5.0}, {"p2", 3.0}, {"p3", 3.0}, {"p4", 3.0}};
    const TotalUtilityMap four_totals{{"p1", 10}, {"p2", 1}, {"p3", 7}, {"p4", 7}};
    const double one_and_a_bit = std::nextafter(1.0, 2.0);

    const std::vector<TieCase> cases = {
        {"greatest total among the cheapest, then first", four_costs, four_totals,
         {"p1", "p2", "p3", "p4"}, "p3"},
        {"same candidates reversed", four_costs, four_totals, {"p4", "p3", "p2", "p1"}, "p4"},
        {"cost decides before total utility", {{"p1", 2.0}, {"p2", 1.0}}, {{"p1", 100}, {"p2", 1}},
         {"p1", "p2"}, "p2"},
        {"full tie keeps the first", {{"x", 4.0}, {"y", 4.0}}, {{"x", 3}, {"y", 3}}, {"y", "x"}, "y"},
        {"single candidate", {{"only", 7.5}}, {{"only", 2}}, {"only"}, "only"},
        {"costs one bit apart are not tied", {{"cheap", 1.0}, {"dear", one_and_a_bit}},
         {{"cheap", 1}, {"dear", 1000}}, {"dear", "cheap"}, "cheap"},
        {"cheaper by one bit wins from first place too", {{"cheap", 1.0}, {"dear", one_and_a_bit}},
         {{"cheap", 1}, {"dear", 1000}}, {"cheap", "dear"}, "cheap"},
        {"negative zero costs the same as zero", {{"plus", 0.0}, {"minus", -0.0}},
         {{"plus", 1}, {"minus", 5}}, {"plus", "minus"}, "minus"},
        {"infinite costs tie", {{"a", inf}, {"b", inf}}, {{"a", 1}, {"b", 2}}, {"a", "b"}, "b"},
        {"totals above 2^53 compare as integers", {{"a", 1.0}, {"b", 1.0}},
         {{"a", two_to_53}, {"b", two_to_53 + 1}}, {"a", "b"}, "b"},
        {"totals above 2^53 compare as integers, reversed", {{"a", 1.0}, {"b", 1.0}},
         {{"a", two_to_53}, {"b", two_to_53 + 1}}, {"b", "a"}, "b"},
        {"negative totals compare as signed", {{"m5", 1.0}, {"m1", 1.0}}, {{"m5", -5}, {"m1", -1}},
         {"m5", "m1"}, "m1"},
        {"lowest 64-bit totals", {{"low", 1.0}, {"lower", 1.0}},
         {{"low", int64_min + 1}, {"lower", int64_min}}, {"lower", "low"}, "low"},
        // The NaN-cost candidate has no total: it must be filtered out
        // before totals are read.
        {"a NaN cost after the first never wins", {{"p1", 1.0}, {"odd", nan}, {"p2", 1.0}},
         {{"p1", 1}, {"p2", 5}}, {"p1", "odd", "p2"}, "p2"},
        {"a winner listed twice", {{"p1", 2.0}, {"p2", 1.0}}, {{"p1", 1}, {"p2", 1}},
         {"p2", "p1", "p2"}, "p2"},
    };
    for (const TieCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(break_ties(c.cost, c.total_utility, c.choices), c.expected);
    }
}

TEST(BreakTies, ReadsTotalUtilityOnlyForCandidatesOfLeastCost) {
    const CostMap cost{{"p1", 1.0}, {"p2", 2.0}};
    const TotalUtilityMap total_utility{{"p1", 1}};
    EXPECT_EQ(break_ties(cost, total_utility, {"p1", "p2"}), "p1");
    EXPECT_EQ(break_ties(cost, total_utility, {"p2", "p1"}), "p1");
}

TEST(BreakTies, MissingKeysFailWithTheLookupError) {
    const CostMap cost{{"p1", 1.0}, {"p2", 1.0}, {"dear", 9.0}};
    const TotalUtilityMap total_utility{{"p1", 1}, {"dear", 1}};
    {
        SCOPED_TRACE("first choice has no cost");
        expect_missing_key([&] { break_ties(cost, total_utility, {"ghost", "p1"}); });
    }
    {
        SCOPED_TRACE("a choice after the winner has no cost");
        expect_missing_key([&] { break_ties(cost, total_utility, {"p1", "dear", "ghost"}); });
    }
    {
        SCOPED_TRACE("a candidate of least cost has no total");
        expect_missing_key([&] { break_ties(cost, total_utility, {"p1", "p2"}); });
    }
    {
        SCOPED_TRACE("a single candidate has no total");
        expect_missing_key([&] { break_ties(cost, total_utility, {"p2"}); });
    }
}

TEST(BreakTies, RefusesChoicesWithoutAUsableFirstCost) {
    const CostMap cost{{"p1", 1.0}, {"odd", nan}};
    const TotalUtilityMap total_utility{{"p1", 1}, {"odd", 1}};
    EXPECT_THROW(break_ties(cost, total_utility, {}), std::invalid_argument);
    EXPECT_THROW(break_ties(cost, total_utility, {"odd"}), std::invalid_argument);
    EXPECT_THROW(break_ties(cost, total_utility, {"odd", "p1"}), std::invalid_argument);
}

}  // namespace
