#include "platform/CvAtomicFile.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TestEnv.h"

namespace {

// What this process synced, in order: the path of each descriptor passed to
// fsync or fdatasync.
std::mutex g_syncLock;
std::vector<std::string> g_synced;

void RecordSync(int fd) {
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
    std::lock_guard guard(g_syncLock);
    g_synced.push_back(length > 0 ? std::string(path, static_cast<size_t>(length)) : "?");
}

std::vector<std::string> TakeSynced() {
    std::lock_guard guard(g_syncLock);
    return std::exchange(g_synced, {});
}

}  // namespace

extern "C" int fsync(int fd) {
    using Sync = int (*)(int);
    static const auto real = reinterpret_cast<Sync>(dlsym(RTLD_NEXT, "fsync"));
    RecordSync(fd);
    return real(fd);
}

extern "C" int fdatasync(int fd) {
    using Sync = int (*)(int);
    static const auto real = reinterpret_cast<Sync>(dlsym(RTLD_NEXT, "fdatasync"));
    RecordSync(fd);
    return real(fd);
}

namespace {

// A rename is durable only once its folder is synced: without that, a power
// cut after Update returned can bring the old settings back.
TEST(CvAtomicFile, RewritesSyncTheFileThenItsFolder) {
    TempDir dir;
    const std::string folder = dir.Path() + "/corvane";
    const std::string path = folder + "/user.reg";
    TakeSynced();
    ASSERT_TRUE(CvAtomicFile::Update(path, [](const std::string&) { return "first\n"; }));
    ASSERT_TRUE(CvAtomicFile::Update(
        path, [](const std::string& current) { return current + "second\n"; }));
    EXPECT_EQ(ReadFileText(path), "first\nsecond\n");

    const auto synced = TakeSynced();
    // Per rewrite: the temporary file's data, then the folder holding the
    // renamed entry. The new folder's own entry is synced in its parent.
    std::vector<std::string> folderSyncs;
    size_t dataSyncs = 0;
    for (const std::string& entry : synced) {
        if (entry.rfind(path + ".tmp~", 0) == 0) {
            ++dataSyncs;
        } else {
            folderSyncs.push_back(entry);
        }
    }
    EXPECT_EQ(dataSyncs, 2u);
    ASSERT_FALSE(synced.empty());
    EXPECT_EQ(synced.back(), folder);
    EXPECT_EQ(std::count(folderSyncs.begin(), folderSyncs.end(), folder), 2);
    EXPECT_EQ(std::count(folderSyncs.begin(), folderSyncs.end(), dir.Path()), 1);
}

TEST(CvAtomicFile, RemovalSyncsTheFolder) {
    TempDir dir;
    const std::string path = dir.File("autostart.desktop");
    WriteFileText(path, "x");
    TakeSynced();
    ASSERT_TRUE(CvAtomicFile::Remove(path));
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    EXPECT_EQ(TakeSynced(), std::vector<std::string>{dir.Path()});
}

}  // namespace
