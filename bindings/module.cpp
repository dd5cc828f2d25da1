// The module quorinbindings: converts Python arguments, calls the rule,
// converts its winners back. Nothing of the rule lives here.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "equal_shares.hpp"
#include "version_guard.hpp"

namespace py = pybind11;

namespace {

constexpr const char* built_for = PYBIND11_TOSTRING(PY_MAJOR_VERSION) "." PYBIND11_TOSTRING(PY_MINOR_VERSION);

int exec_module(PyObject* module_object) {
    try {
        auto module = py::reinterpret_borrow<py::module_>(module_object);
        // Both functions share one call implementation; only the rule differs.
        module.def("equal_shares_utils", &quorin::equal_shares_utils);
        module.def("equal_shares_add1", &quorin::equal_shares_add1);
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
