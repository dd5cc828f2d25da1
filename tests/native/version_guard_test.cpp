#include <gtest/gtest.h>

#include "version_guard.hpp"

using quorin::bindings::interpreter_matches;

TEST(VersionGuard, AcceptsEveryReleaseOfTheBuiltVersion) {
    EXPECT_TRUE(interpreter_matches("3.13", "3.13.0 (main, May  9 2026, 07:36:57) [GCC 12.2.0]"));
    EXPECT_TRUE(interpreter_matches("3.13", "3.13.11"));
    EXPECT_TRUE(interpreter_matches("3.13", "3.13"));
    EXPECT_TRUE(interpreter_matches("3.13", "3.13rc1"));
}

TEST(VersionGuard, RefusesOtherVersionsSharingAPrefix) {
    EXPECT_FALSE(interpreter_matches("3.13", "3.130"));
    EXPECT_FALSE(interpreter_matches("3.13", "3.12.4"));
    EXPECT_FALSE(interpreter_matches("3.13", "3.1"));
    EXPECT_FALSE(interpreter_matches("3.13", ""));
}
