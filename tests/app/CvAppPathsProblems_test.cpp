#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/CvAppPaths.h"
#include "support/TestEnv.h"

namespace {

// The data folder cannot be made or used: the archive then cannot be
// opened, and the person is told why instead of SQLite's "unable to open
// database file".
TEST(CvAppPathsProblems, AStorageFolderThatCannotBeMadeIsNamedWithTheCause) {
    TempDir dir;
    WriteFileText(dir.File("file"), "");
    struct Case {
        const char* what;
        std::string appData;
        std::string problem;
    };
    WriteFileText(dir.File("base/Corvane Messenger/3.x"), "");
    const Case cases[] = {
        {"fine", dir.File("fresh/share"), ""},
        {"below a file", dir.File("file/share"),
         "cannot create the folder " + dir.File("file/share") + ": Not a directory"},
        {"3.x is a file", dir.File("base"),
         "the data folder " + dir.File("base/Corvane Messenger/3.x") + " is not a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CvAppPaths(dir.File("prog"), c.appData).CreateStorageFolders(), c.problem);
    }
}

// What a normal user meets with a data folder that is not theirs.
TEST(CvAppPathsProblems, AStorageFolderWithoutWriteAccessIsNamed) {
    // The child below runs as a normal user, who must reach the folder.
    ScopedEnv tmp("TMPDIR", "/var/tmp");
    TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const std::string storage = dir.File("data/Corvane Messenger/3.x");
    CvAppPaths paths(dir.File("prog"), dir.File("data"));
    ASSERT_EQ(paths.CreateStorageFolders(), "");
    // Another user's folders, open to look into but not to write.
    for (const std::string& folder : {dir.File("data"), dir.File("data/Corvane Messenger")}) {
        ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    }
    ASSERT_EQ(chmod(storage.c_str(), 0555), 0);
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(channel[0]);
        // Root may write anywhere; a normal user may not.
        if (geteuid() == 0 &&
            (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0)) {
            _exit(2);
        }
        if (access(dir.Path().c_str(), X_OK) != 0) {
            _exit(3);  // a folder above is closed to normal users
        }
        const std::string problem = paths.CreateStorageFolders();
        (void)!write(channel[1], problem.data(), problem.size());
        _exit(0);
    }
    close(channel[1]);
    std::string problem;
    char buffer[512];
    ssize_t got = 0;
    while ((got = read(channel[0], buffer, sizeof buffer)) > 0) {
        problem.append(buffer, static_cast<size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) {
        GTEST_SKIP() << dir.Path() << " cannot be reached by a normal user";
    }
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(problem, "cannot write in the data folder " + storage + ": Permission denied");
}

// A settings file that exists but cannot be read would leave every setting
// in it at its default without a word.
TEST(CvAppPathsProblems, SettingsFilesThatCannotBeReadAreListed) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("user.reg"));  // exists, cannot be read
    ScopedEnv user("CORVANE_USER_REGISTRY", dir.File("user.reg"));
    ScopedEnv machine("CORVANE_MACHINE_REGISTRY", dir.File("missing.reg"));
    EXPECT_EQ(CvAppPaths(dir.File("prog"), dir.File("data")).UnreadableSettingsFiles(),
              std::vector<std::string>{dir.File("user.reg") + " (Is a directory)"});

    WriteFileText(dir.File("machine.reg"), "Windows Registry Editor Version 5.00\r\n");
    ScopedEnv readable("CORVANE_MACHINE_REGISTRY", dir.File("machine.reg"));
    ScopedEnv fine("CORVANE_USER_REGISTRY", dir.File("machine.reg"));
    EXPECT_EQ(CvAppPaths(dir.File("prog"), dir.File("data")).UnreadableSettingsFiles(),
              std::vector<std::string>{});
}

}  // namespace
