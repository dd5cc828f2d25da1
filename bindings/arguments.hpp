// The six arguments of a call, converted in one pass straight into the
// rule's index-based election, accepting exactly what the stock pybind11
// casters accept for the rule's parameter types.
#pragma once

#include <Python.h>

#include <array>
#include <optional>
#include <vector>

#include "election.hpp"

namespace quorin::bindings {

struct ConvertedArguments {
    // The candidates' identifiers, which the election points into.
    std::vector<ProjectId> names;
    detail::Election election;
    double total_budget = 0.0;
};

// voters, projects, cost, approvers_utilities, total_utility, total_budget.
using PythonArguments = std::array<PyObject*, 6>;

// None when an argument does not convert; errors raised by argument objects
// while they are read propagate as pybind11::error_already_set. A project
// missing from a map it is needed in throws std::out_of_range
// ("_Map_base::at"), as the rule does, once all six have converted.
std::optional<ConvertedArguments> convert_arguments(const PythonArguments& arguments);

}  // namespace quorin::bindings
