// A double as the rule computes it, carried together with how it moves
// with the per-voter share s and how far rounding may have taken it from
// the exact value along the same decisions.
#pragma once

#include <cmath>
#include <limits>

namespace quorin::detail {

// Unit roundoff, doubled so that rounding in the bounds themselves is covered.
inline constexpr double tracked_roundoff = 0x1p-52;

inline double rounding_of(double value) { return std::fabs(value) * tracked_roundoff; }

struct Tracked {
    double value;  // exactly what the plain run computes
    double slope;  // d value / d s, as if every decision stayed put
    double error;  // bound on |value - exact value| from rounding

    // A constant is computed alike at every share, so its double is exact
    // for this purpose; anything derived from the share has a slope or an
    // error bound.
    static Tracked constant(double v) { return {v, 0.0, 0.0}; }
    bool varies() const { return slope != 0 || error != 0; }
};

namespace tracked_detail {

// Keeps a result derived from the share recognisable as such even if its
// slope cancels and no rounding happened.
inline Tracked derived(double value, double slope, double error) {
    if (slope == 0 && error == 0) {
        error = std::numeric_limits<double>::denorm_min();
    }
    return {value, slope, error};
}

}  // namespace tracked_detail

inline Tracked operator+(const Tracked& a, const Tracked& b) {
    const double value = a.value + b.value;
    if (!a.varies() && !b.varies()) {
        return Tracked::constant(value);
    }
    return tracked_detail::derived(value, a.slope + b.slope, a.error + b.error + rounding_of(value));
}

inline Tracked operator-(const Tracked& a, const Tracked& b) {
    const double value = a.value - b.value;
    if (!a.varies() && !b.varies()) {
        return Tracked::constant(value);
    }
    return tracked_detail::derived(value, a.slope - b.slope, a.error + b.error + rounding_of(value));
}

inline Tracked operator*(const Tracked& a, const Tracked& b) {
    const double value = a.value * b.value;
    if (!a.varies() && !b.varies()) {
        return Tracked::constant(value);
    }
    const double error = std::fabs(a.value) * b.error + std::fabs(b.value) * a.error +
                         a.error * b.error + rounding_of(value);
    return tracked_detail::derived(value, a.slope * b.value + a.value * b.slope, error);
}

inline Tracked operator/(const Tracked& a, const Tracked& b) {
    const double value = a.value / b.value;
    if (!a.varies() && !b.varies()) {
        return Tracked::constant(value);
    }
    const double room = std::fabs(b.value) - b.error;
    const double error = room > 0 ? (a.error + std::fabs(value) * b.error) / room + rounding_of(value)
                                   : std::numeric_limits<double>::infinity();
    return tracked_detail::derived(value, (a.slope - value * b.slope) / b.value, error);
}

}  // namespace quorin::detail
