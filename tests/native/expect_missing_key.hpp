// Shared by the native tests: a failed map lookup's exact error.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>

// Calls `call` and expects the failed-lookup error, message included.
template <class Call>
void expect_missing_key(Call&& call) {
    try {
        call();
        ADD_FAILURE() << "no exception; expected std::out_of_range";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "_Map_base::at");
    }
}
