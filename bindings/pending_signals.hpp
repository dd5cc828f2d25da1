// What lets Ctrl-C end a long call: the rule asks between runs and inside
// long ones, with the interpreter lock held, and a pending KeyboardInterrupt
// (or whatever a signal handler raises) ends the call and propagates.
#pragma once

#include <pybind11/pybind11.h>

#include "interruption.hpp"

namespace quorin::bindings {

inline void raise_pending_signal(void*) {
    if (PyErr_CheckSignals() != 0) {
        throw pybind11::error_already_set();
    }
}

inline constexpr detail::Interruption by_pending_signals{raise_pending_signal, nullptr};

}  // namespace quorin::bindings
