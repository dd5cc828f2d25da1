// Whether the running interpreter is the one the module was built for.
#pragma once

#include <cstring>

namespace quorin::bindings {

// `version` (as Py_GetVersion gives it) must begin with `built_for`, e.g.
// "3.13", and go on with something other than a digit, so that 3.130 or
// 3.1 never pass for 3.13.
inline bool interpreter_matches(const char* built_for, const char* version) {
    const std::size_t length = std::strlen(built_for);
    if (std::strncmp(version, built_for, length) != 0) {
        return false;
    }
    const char next = version[length];
    return next < '0' || next > '9';
}

}  // namespace quorin::bindings
