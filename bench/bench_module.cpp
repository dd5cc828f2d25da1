// quorin_bench: a benchmark-only extension, built beside the module and
// never installed. It gives the reading floor (visiting every element of the
// six arguments and building nothing) and the module's conversion alone,
// times the fixed-budget runs of the completion that takes every whole step,
// and counts the runs of the one that skips steps, without adding anything
// to quorinbindings itself.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <set>

#include "arguments.hpp"
#include "election.hpp"
#include "equal_shares.hpp"
#include "skipping_completion.hpp"
#include "stepping_completion.hpp"

namespace py = pybind11;
using namespace quorin;

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The module's own conversion of the six arguments, and nothing else.
void convert_only(py::object voters, py::object projects, py::object cost,
                  py::object approvers_utilities, py::object total_utility,
                  py::object total_budget) {
    if (!bindings::convert_arguments({voters.ptr(), projects.ptr(), cost.ptr(),
                                      approvers_utilities.ptr(), total_utility.ptr(),
                                      total_budget.ptr()})) {
        throw py::type_error("the arguments do not convert");
    }
}

// What reading the input once costs at least: every identifier decoded
// once and every number read once, through the C API, building nothing.
// Takes the lists, tuples and dicts the .pb reader gives.
class Reader {
public:
    double checksum = 0.0;

    void identifier(PyObject* object) {
        Py_ssize_t size = 0;
        if (PyUnicode_AsUTF8AndSize(object, &size) == nullptr) {
            throw py::error_already_set();
        }
        checksum += static_cast<double>(size);
    }
    void number(PyObject* object) {
        const double value = PyFloat_AsDouble(object);
        if (value == -1.0 && PyErr_Occurred()) {
            throw py::error_already_set();
        }
        checksum += value;
    }
    void integer(PyObject* object) {
        const long long value = PyLong_AsLongLong(object);
        if (value == -1 && PyErr_Occurred()) {
            throw py::error_already_set();
        }
        checksum += static_cast<double>(value);
    }
    template <class Each>
    static void items(PyObject* sequence, Each&& each) {
        const py::object fast = py::reinterpret_steal<py::object>(PySequence_Fast(sequence, "not a sequence"));
        if (!fast) {
            throw py::error_already_set();
        }
        PyObject** items = PySequence_Fast_ITEMS(fast.ptr());
        for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(fast.ptr()); ++i) {
            each(items[i]);
        }
    }
    template <class Each>
    void entries(PyObject* dict, Each&& each) {
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(dict, &position, &key, &value)) {
            identifier(key);
            each(value);
        }
    }
};

double reading_floor(py::list voters, py::list projects, py::dict cost, py::dict approvers_utilities,
                     py::dict total_utility, py::float_ total_budget) {
    Reader reader;
    Reader::items(voters.ptr(), [&](PyObject* voter) { reader.identifier(voter); });
    Reader::items(projects.ptr(), [&](PyObject* project) { reader.identifier(project); });
    reader.entries(cost.ptr(), [&](PyObject* value) { reader.number(value); });
    reader.entries(approvers_utilities.ptr(), [&](PyObject* pairs) {
        Reader::items(pairs, [&](PyObject* pair) {
            reader.identifier(PyTuple_GET_ITEM(pair, 0));
            reader.integer(PyTuple_GET_ITEM(pair, 1));
        });
    });
    reader.entries(total_utility.ptr(), [&](PyObject* value) { reader.integer(value); });
    reader.number(total_budget.ptr());
    return reader.checksum;
}

py::dict completion_profile(const std::vector<VoterId>& voters,
                            const std::vector<ProjectId>& projects, const CostMap& cost,
                            const ApproverUtilityMap& approvers_utilities,
                            const TotalUtilityMap& total_utility, double total_budget) {
    const Clock::time_point prepare_start = Clock::now();
    const detail::Election election =
        detail::prepare_election(voters, projects, cost, approvers_utilities, total_utility);
    const double prepare_seconds = seconds_since(prepare_start);

    std::set<std::vector<std::uint32_t>> distinct;
    // Stretches of unchanged outcome: the first run's, and one per change.
    std::size_t stretches = 0;
    std::vector<std::uint32_t> previous;
    detail::CompletionCounts stepping;
    double run_seconds = 0.0;
    // Each run is timed from the end of the one before, so the completion's
    // own checks between runs count too; they take a small part of a run.
    Clock::time_point run_start = Clock::now();
    const std::vector<std::uint32_t> outcome = detail::complete_add_one_stepping(
        election, total_budget, {}, &stepping, [&](const std::vector<std::uint32_t>& winners) {
            run_seconds += seconds_since(run_start);
            distinct.insert(winners);
            stretches += stretches == 0 || winners != previous;
            previous = winners;
            run_start = Clock::now();
        });

    detail::CompletionCounts skipping;
    const Clock::time_point skipping_start = Clock::now();
    const std::vector<std::uint32_t> skipped =
        detail::complete_add_one_skipping(election, total_budget, {}, &skipping);
    const double skipping_seconds = seconds_since(skipping_start);

    py::dict profile;
    profile["skipping_runs"] = skipping.runs;
    profile["range_proofs"] = skipping.range_proofs;
    profile["skipping_seconds"] = skipping_seconds;
    profile["skipping_agrees"] = skipped == outcome;
    profile["distinct_outcomes"] = distinct.size();
    profile["stretches"] = stretches;
    profile["runs"] = stepping.runs;
    profile["run_seconds"] = run_seconds;
    profile["prepare_seconds"] = prepare_seconds;
    profile["winners"] = outcome.size();
    return profile;
}

// The completion that skips steps alone, for profiling it: its runs, its
// proofs and its time.
py::dict skipping_profile(const std::vector<VoterId>& voters, const std::vector<ProjectId>& projects,
                          const CostMap& cost, const ApproverUtilityMap& approvers_utilities,
                          const TotalUtilityMap& total_utility, double total_budget) {
    const detail::Election election =
        detail::prepare_election(voters, projects, cost, approvers_utilities, total_utility);
    detail::CompletionCounts counts;
    const Clock::time_point start = Clock::now();
    detail::complete_add_one_skipping(election, total_budget, {}, &counts);
    py::dict profile;
    profile["skipping_seconds"] = seconds_since(start);
    profile["skipping_runs"] = counts.runs;
    profile["range_proofs"] = counts.range_proofs;
    return profile;
}

}  // namespace

PYBIND11_MODULE(quorin_bench, m) {
    m.def("reading_floor", &reading_floor);
    m.def("convert_only", &convert_only);
    m.def("completion_profile", &completion_profile);
    m.def("skipping_profile", &skipping_profile);
}
