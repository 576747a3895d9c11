#include <csignal>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/CvInstanceLock.h"
#include "support/TestEnv.h"

namespace {

class CvInstanceLockTest : public ::testing::Test {
protected:
    TempDir m_dir;
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR", m_dir.Path()};
};

TEST_F(CvInstanceLockTest, SecondInstanceOfTheSameUserIsRefused) {
    EXPECT_EQ(CvInstanceLock::PerUserName("jdoe"), "CORVANEMESSENGER@JDOE");
    CvInstanceLock first(CvInstanceLock::PerUserName("JDOE"));
    ASSERT_TRUE(first.TryAcquire());
    EXPECT_TRUE(first.IsHeld());
    EXPECT_TRUE(first.TryAcquire()) << "holding it already";

    CvInstanceLock second(CvInstanceLock::PerUserName("jdoe"));
    EXPECT_FALSE(second.TryAcquire());
    EXPECT_FALSE(second.IsHeld());

    CvInstanceLock otherUser(CvInstanceLock::PerUserName("ANNA"));
    EXPECT_TRUE(otherUser.TryAcquire());

    first.Release();
    EXPECT_TRUE(second.TryAcquire());

    struct stat info {};
    ASSERT_EQ(stat(CvInstanceLock::LockFolder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(CvInstanceLock::LockFolder(), m_dir.Path() + "/corvane");
    EXPECT_EQ(access((m_dir.Path() + "/corvane/CORVANEMESSENGER@JDOE").c_str(), F_OK), 0);
}

TEST_F(CvInstanceLockTest, PresenceLockIsSharedBetweenInstances) {
    CvInstanceLock a(CvInstanceLock::kPresenceName, CvInstanceLock::Mode::Shared);
    CvInstanceLock b(CvInstanceLock::kPresenceName, CvInstanceLock::Mode::Shared);
    EXPECT_TRUE(a.TryAcquire());
    EXPECT_TRUE(b.TryAcquire());
    // An installer asking "is any instance running?" takes it exclusively.
    CvInstanceLock probe(CvInstanceLock::kPresenceName);
    EXPECT_FALSE(probe.TryAcquire());
}

TEST_F(CvInstanceLockTest, CrashedHolderDoesNotBlockTheNextStart) {
    const std::string name = CvInstanceLock::PerUserName("CRASHER");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        CvInstanceLock held(name);
        const char result = held.TryAcquire() ? '1' : '0';
        (void)!write(ready[1], &result, 1);
        for (;;) {
            pause();
        }
    }
    close(ready[1]);
    char result = 0;
    ASSERT_EQ(read(ready[0], &result, 1), 1);
    close(ready[0]);
    ASSERT_EQ(result, '1');

    CvInstanceLock next(name);
    EXPECT_FALSE(next.TryAcquire()) << "held by the running child";
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(next.TryAcquire());
}

TEST(CvInstanceLock, RefusesALockFolderThatIsNotPrivate) {
    TempDir dir;
    ASSERT_EQ(mkdir((dir.Path() + "/corvane").c_str(), 0777), 0);
    ASSERT_EQ(chmod((dir.Path() + "/corvane").c_str(), 0777), 0);
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path());
    EXPECT_EQ(CvInstanceLock::LockFolder(), "");
    CvInstanceLock lock(CvInstanceLock::PerUserName("X"));
    EXPECT_FALSE(lock.TryAcquire());
}

// A folder that cannot hold the locks is reported as what it is, never as
// another instance holding the lock.
TEST(CvInstanceLock, SaysWhatIsWrongWithTheLockFolder) {
    struct Case {
        const char* what;
        std::function<std::string(const std::string& dir)> prepare;  // gives XDG_RUNTIME_DIR
        const char* problem;
    };
    const Case cases[] = {
        {"runtime folder missing", [](const std::string& dir) { return dir + "/gone"; },
         "/gone, which does not exist"},
        {"runtime folder a file",
         [](const std::string& dir) {
             WriteFileText(dir + "/file", "");
             return dir + "/file";
         },
         "/file, which is not a folder"},
        {"lock folder a file",
         [](const std::string& dir) {
             WriteFileText(dir + "/corvane", "");
             return dir;
         },
         "/corvane is not a folder"},
        {"lock folder open to others",
         [](const std::string& dir) {
             mkdir((dir + "/corvane").c_str(), 0700);
             chmod((dir + "/corvane").c_str(), 0755);
             return dir;
         },
         "/corvane is open to other users (mode 0755); it must be 0700"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ScopedEnv runtime("XDG_RUNTIME_DIR", c.prepare(dir.Path()));
        std::string problem;
        EXPECT_EQ(CvInstanceLock::LockFolder(&problem), "");
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        CvInstanceLock lock(CvInstanceLock::PerUserName("X"));
        EXPECT_FALSE(lock.TryAcquire());
        EXPECT_EQ(lock.Problem(), problem);
    }
}

TEST_F(CvInstanceLockTest, AHeldLockIsNoProblem) {
    CvInstanceLock first(CvInstanceLock::PerUserName("JDOE"));
    ASSERT_TRUE(first.TryAcquire());
    CvInstanceLock second(CvInstanceLock::PerUserName("JDOE"));
    EXPECT_FALSE(second.TryAcquire());
    EXPECT_EQ(second.Problem(), "");
    std::string problem = "stale";
    EXPECT_EQ(CvInstanceLock::LockFolder(&problem), m_dir.Path() + "/corvane");
    EXPECT_EQ(problem, "");
}

}  // namespace
