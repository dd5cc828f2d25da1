// The module quorinbindings: converts Python arguments, calls the rule,
// converts its winners back. Nothing of the rule lives here.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "arguments.hpp"
#include "equal_shares.hpp"
#include "outcomes.hpp"
#include "pending_signals.hpp"
#include "version_guard.hpp"

namespace py = pybind11;

namespace quorin::bindings {

// An argument as passed. The conversion of all six happens in one pass in
// the call; each parameter still shows the type the rule's C++ parameter
// would show, so signatures read as they always did.
template <class Kind>
struct Passed {
    PyObject* object = nullptr;
};

struct Identifiers {
    static constexpr auto name = py::detail::const_name("collections.abc.Sequence[str]");
};
struct Costs {
    static constexpr auto name =
        py::detail::const_name("collections.abc.Mapping[str, typing.SupportsFloat]");
};
struct Supporters {
    static constexpr auto name = py::detail::const_name(
        "collections.abc.Mapping[str, collections.abc.Sequence[tuple[str, typing.SupportsInt]]]");
};
struct TotalUtilities {
    static constexpr auto name =
        py::detail::const_name("collections.abc.Mapping[str, typing.SupportsInt]");
};
struct Budget {
    static constexpr auto name = py::detail::const_name("typing.SupportsFloat");
};

}  // namespace quorin::bindings

namespace pybind11::detail {

template <class Kind>
struct type_caster<quorin::bindings::Passed<Kind>> {
    PYBIND11_TYPE_CASTER(quorin::bindings::Passed<Kind>, Kind::name);

    bool load(handle source, bool) {
        value.object = source.ptr();
        return true;
    }
};

}  // namespace pybind11::detail

namespace {

using namespace quorin;
using namespace quorin::bindings;

constexpr const char* built_for = PYBIND11_TOSTRING(PY_MAJOR_VERSION) "." PYBIND11_TOSTRING(PY_MINOR_VERSION);

// As pybind11 writes a signature: the parameters and the result.
std::string signature() {
    const char* types[] = {Identifiers::name.text, Identifiers::name.text, Costs::name.text,
                           Supporters::name.text,  TotalUtilities::name.text, Budget::name.text};
    std::string signature = "(";
    for (std::size_t i = 0; i < 6; ++i) {
        signature += (i > 0 ? ", arg" : "arg") + std::to_string(i) + ": " + types[i];
    }
    return signature + ") -> list[str]";
}

// The TypeError pybind11 raises when arguments do not convert, word for word.
[[noreturn]] void raise_incompatible_arguments(const char* function, const PythonArguments& arguments) {
    std::string message = std::string(function) +
                          "(): incompatible function arguments. The following argument types are "
                          "supported:\n    1. " +
                          signature() + "\n\nInvoked with: ";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) {
            message += ", ";
        }
        try {
            message += py::repr(arguments[i]);
        } catch (const py::error_already_set&) {
            message += "<repr raised Error>";
        }
    }
    if (message.find("std::") != std::string::npos) {
        message +=
            "\n\nDid you forget to `#include <pybind11/stl.h>`? Or <pybind11/complex.h>,\n"
            "<pybind11/functional.h>, <pybind11/chrono.h>, etc. Some automatic\n"
            "conversions are optional and require extra headers to be included\n"
            "when compiling your pybind11 module.";
    }
    if (PyErr_Occurred()) {
        py::raise_from(PyExc_TypeError, message.c_str());
    } else {
        py::set_error(PyExc_TypeError, message.c_str());
    }
    throw py::error_already_set();
}

using Outcome = std::vector<std::uint32_t> (*)(const detail::Election&, double,
                                                const detail::Interruption&);


constexpr char utils_name[] = "equal_shares_utils";
constexpr char add1_name[] = "equal_shares_add1";

// Both functions share one call implementation; only the rule differs.
template <Outcome outcome, const char* name>
std::vector<ProjectId> call_rule(Passed<Identifiers> voters, Passed<Identifiers> projects,
                                 Passed<Costs> cost, Passed<Supporters> approvers_utilities,
                                 Passed<TotalUtilities> total_utility, Passed<Budget> total_budget) {
    const PythonArguments arguments{voters.object, projects.object, cost.object,
                                    approvers_utilities.object, total_utility.object,
                                    total_budget.object};
    const std::optional<ConvertedArguments> converted = convert_arguments(arguments);
    if (!converted) {
        raise_incompatible_arguments(name, arguments);
    }
    return detail::identifiers_of(converted->election, outcome(converted->election,
                                                               converted->total_budget,
                                                               by_pending_signals));
}

bool in_main_interpreter() { return PyInterpreterState_Get() == PyInterpreterState_Main(); }

void refuse_subinterpreter() {
    PyErr_SetString(PyExc_ImportError, "quorinbindings does not support sub-interpreters");
}

int exec_module(PyObject* module_object) {
    // The slot that declares this is not enforced for sub-interpreters made
    // with the legacy configuration, where pybind11's state is not ready.
    if (!in_main_interpreter()) {
        refuse_subinterpreter();
        return -1;
    }
    try {
        auto module = py::reinterpret_borrow<py::module_>(module_object);
        module.def(utils_name, &call_rule<detail::fixed_budget_outcome, utils_name>);
        module.def(add1_name, &call_rule<detail::add_one_outcome, add1_name>);
        return 0;
    } catch (py::error_already_set& e) {
        py::raise_from(e, PyExc_ImportError, "initialization failed");
    } catch (const std::exception& e) {
        py::set_error(PyExc_ImportError, e.what());
    }
    return -1;
}

}  // namespace

extern "C" PYBIND11_EXPORT PyObject* PyInit_quorinbindings() {
    const char* version = Py_GetVersion();
    if (!quorin::bindings::interpreter_matches(built_for, version)) {
        PyErr_Format(PyExc_ImportError,
                     "Python version mismatch: module was compiled for Python %s, "
                     "but the interpreter version is incompatible: %s.",
                     built_for, version);
        return nullptr;
    }
    if (!in_main_interpreter()) {
        refuse_subinterpreter();
        return nullptr;
    }
    py::detail::get_internals();
    static PyModuleDef_Slot slots[] = {
        {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
        {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
        {0, nullptr},
    };
    static PyModuleDef definition = {
        PyModuleDef_HEAD_INIT,
        "quorinbindings",
        nullptr,  // no module docstring
        0,
        nullptr,  // functions are added by the exec slot
        slots,
        nullptr,
        nullptr,
        nullptr,
    };
    return PyModuleDef_Init(&definition);
}
