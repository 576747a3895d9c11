#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

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

// The command-line station and the desktop program exclude each other, and
// whoever is refused learns which of the two runs.
TEST(CvSingleInstance, StationAndDesktopTellEachOtherApart) {
    using Role = CvSingleInstance::Role;
    struct Case {
        Role running;
        Role starting;
        bool desktopRuns;
    };
    const Case cases[] = {
        {Role::Station, Role::Station, false},
        {Role::Station, Role::Desktop, false},
        {Role::Desktop, Role::Station, true},
        {Role::Desktop, Role::Desktop, true},
    };
    for (const Case& c : cases) {
        TempDir dir;
        ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path());
        CvSingleInstance running;
        ASSERT_TRUE(running.Start("ALICE", c.running));
        CvSingleInstance starting;
        EXPECT_FALSE(starting.Start("ALICE", c.starting));
        EXPECT_EQ(starting.DesktopRuns(), c.desktopRuns)
            << static_cast<int>(c.running) << " then " << static_cast<int>(c.starting);
    }
}

TEST(CvSingleInstance, RefusedDesktopLeavesNoLockBehind) {
    TempDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path());
    auto station = std::make_unique<CvSingleInstance>();
    ASSERT_TRUE(station->Start("ALICE"));
    CvSingleInstance refused;
    ASSERT_FALSE(refused.Start("ALICE", CvSingleInstance::Role::Desktop));
    station.reset();
    // Had the refused start kept the desktop's lock, this one would think a
    // desktop runs.
    CvSingleInstance desktop;
    EXPECT_TRUE(desktop.Start("ALICE", CvSingleInstance::Role::Desktop));
}

}  // namespace
