// A way for the caller to end a long call: the rule asks it between runs
// and every so often inside a run, and whatever it throws ends the call
// with everything the rule holds released. The rule itself knows nothing
// of who asks or why.
#pragma once

#include <cstddef>

namespace quorin::detail {

// Asked between runs and every so often inside a long run; throws to end the call.
struct Interruption {
    void (*check)(void* context) = nullptr;
    void* context = nullptr;
    void poll() const { if (check) check(context); }
};

// Inside a run, asked after about this many supporters walked: rarely
// enough to cost nothing, often enough to answer within milliseconds.
inline constexpr std::size_t supporters_between_polls = 4096;

}  // namespace quorin::detail
