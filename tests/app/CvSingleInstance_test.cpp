#include <gtest/gtest.h>
#include <unistd.h>

#include "app/CvSingleInstance.h"
#include "support/TestEnv.h"

namespace {

TEST(CvSingleInstance, OneInstancePerUserName) {
    TempDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path());
    ScopedEnv user("CORVANE_USER_NAME", "alice");

    CvSingleInstance first;
    ASSERT_TRUE(first.Start());
    EXPECT_EQ(access((dir.Path() + "/corvane/CORVANEMESSENGER@ALICE").c_str(), F_OK), 0);
    EXPECT_EQ(access((dir.Path() + "/corvane/CORVANE_MESSENGER_IS_RUNNING").c_str(), F_OK), 0);

    CvSingleInstance second;
    EXPECT_FALSE(second.Start());
    EXPECT_FALSE(second.Start("Alice")) << "the name is compared upper-cased";

    CvSingleInstance otherUser;
    EXPECT_TRUE(otherUser.Start("bob"));
}

}  // namespace
