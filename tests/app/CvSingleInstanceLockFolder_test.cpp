#include <string>

#include <gtest/gtest.h>

#include "app/CvSingleInstance.h"
#include "support/TestEnv.h"

namespace {

// With XDG_RUNTIME_DIR naming a folder that does not exist, nobody else can
// be running: a refused start must say what is wrong with the folder instead
// of blaming a station or the desktop program.
TEST(CvSingleInstanceLockFolder, AnUnusableRuntimeFolderIsNotAnotherInstance) {
    using Role = CvSingleInstance::Role;
    for (const Role role : {Role::Station, Role::Desktop}) {
        SCOPED_TRACE(static_cast<int>(role));
        TempDir dir;
        ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path() + "/missing");
        CvSingleInstance instance;
        EXPECT_FALSE(instance.Start("ALICE", role));
        EXPECT_FALSE(instance.DesktopRuns());
        EXPECT_NE(instance.Problem().find("XDG_RUNTIME_DIR names " + dir.Path() +
                                          "/missing, which does not exist"),
                  std::string::npos)
            << instance.Problem();
    }
}

TEST(CvSingleInstanceLockFolder, AnotherInstanceIsNoProblem) {
    TempDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path());
    CvSingleInstance first;
    ASSERT_TRUE(first.Start("ALICE"));
    CvSingleInstance second;
    EXPECT_FALSE(second.Start("ALICE"));
    EXPECT_EQ(second.Problem(), "");
    EXPECT_FALSE(second.DesktopRuns());
}

}  // namespace
