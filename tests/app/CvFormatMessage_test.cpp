#include "app/CvFormatMessage.h"

#include <gtest/gtest.h>

namespace {

TEST(CvFormatMessage, FillsInsertsOnce) {
    struct Case {
        const char* pattern;
        std::vector<std::string> args;
        const char* expected;
    };
    const Case cases[] = {
        {"%1 wrote to %2:", {"BOB", "ALICE"}, "BOB wrote to ALICE:"},
        {"%2 before %1", {"a", "b"}, "b before a"},
        {"%1 wrote to %2:", {"%2", "X"}, "%2 wrote to X:"},  // no second pass
        {"%1 and %3", {"a"}, "a and %3"},                    // no argument: kept
        {"100% of %1", {"x"}, "100% of x"},
        {"trailing %", {}, "trailing %"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CvFormatMessage(c.pattern, c.args), c.expected) << c.pattern;
    }
}

}  // namespace
