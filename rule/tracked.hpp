// A double as the rule computes it, carried together with how it moves
// with the per-voter share s and how far rounding may have taken it from
// the exact value along the same decisions.
#pragma once

#include <cmath>
#include <limits>

namespace quorin::detail {

struct Tracked {
    double value;     // exactly what the plain run computes
    double slope;     // d value / d s, as if every decision stayed put
    double error;     // bound on |value - exact value| from rounding
    bool varies;      // false when the value cannot depend on s at all

    static Tracked constant(double v) { return {v, 0.0, 0.0, false}; }
};

// Unit roundoff, doubled so that rounding in the bounds themselves is covered.
inline constexpr double tracked_roundoff = 0x1p-52;

inline double rounding_of(double value) { return std::fabs(value) * tracked_roundoff; }

inline Tracked operator+(const Tracked& a, const Tracked& b) {
    const double value = a.value + b.value;
    return {value, a.slope + b.slope, a.error + b.error + rounding_of(value), a.varies || b.varies};
}

inline Tracked operator-(const Tracked& a, const Tracked& b) {
    const double value = a.value - b.value;
    return {value, a.slope - b.slope, a.error + b.error + rounding_of(value), a.varies || b.varies};
}

inline Tracked operator*(const Tracked& a, const Tracked& b) {
    const double value = a.value * b.value;
    const double error = std::fabs(a.value) * b.error + std::fabs(b.value) * a.error +
                         a.error * b.error + rounding_of(value);
    return {value, a.slope * b.value + a.value * b.slope, error, a.varies || b.varies};
}

inline Tracked operator/(const Tracked& a, const Tracked& b) {
    const double value = a.value / b.value;
    const double room = std::fabs(b.value) - b.error;
    const double error = room > 0 ? (a.error + std::fabs(value) * b.error) / room + rounding_of(value)
                                   : std::numeric_limits<double>::infinity();
    return {value, (a.slope - value * b.slope) / b.value, error, a.varies || b.varies};
}

}  // namespace quorin::detail