#include "platform/CvAtomicFile.h"

#include <atomic>
#include <cerrno>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kTempInfix = ".tmp~";

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A rename or a new entry is on disk only once the folder holding it is
// synced; until then a power cut can bring back the old file (or none)
// although the new one was reported written. The entry is in place either
// way, and a caller could do nothing better on failure, so the result is
// left to the caller's judgement.
bool SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

bool MakeFolders(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    if (errno != ENOENT) {
        return false;
    }
    const std::string parent = ParentOf(folder);
    if (parent != folder && !MakeFolders(parent)) {
        return false;
    }
    if (mkdir(folder.c_str(), 0777) != 0) {
        return errno == EEXIST;
    }
    // Best effort: the folder is there for this run whatever the sync says.
    [[maybe_unused]] const bool synced = SyncFolder(parent);
    return true;
}

bool ReadAll(int fd, std::string& out) {
    out.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        out.append(buffer, static_cast<size_t>(got));
    }
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t put = write(fd, data.data(), data.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<size_t>(put));
    }
    return true;
}

// Holds an exclusive flock on the inode that `path` names right now.
class CvFileLock {
public:
    explicit CvFileLock(const std::string& path) {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
            if (fd < 0) {
                return;
            }
            int rc;
            do {
                rc = flock(fd, LOCK_EX);
            } while (rc != 0 && errno == EINTR);
            struct stat locked {};
            struct stat current {};
            if (rc == 0 && fstat(fd, &locked) == 0 && stat(path.c_str(), &current) == 0 &&
                locked.st_dev == current.st_dev && locked.st_ino == current.st_ino) {
                m_fd = fd;
                m_mode = locked.st_mode & 07777;
                return;
            }
            close(fd);
            if (rc != 0) {
                return;
            }
            // Another writer renamed a new file into place (or removed it)
            // while we waited: lock that one instead.
        }
    }
    ~CvFileLock() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CvFileLock(const CvFileLock&) = delete;
    CvFileLock& operator=(const CvFileLock&) = delete;

    bool Locked() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    mode_t Mode() const { return m_mode; }

private:
    int m_fd = -1;
    mode_t m_mode = 0644;
};

// Only the lock holder creates temporary files, so any found under the lock
// were left by a writer that died.
void RemoveStaleTemps(const std::string& path) {
    const std::string folder = ParentOf(path);
    const std::string prefix = BaseOf(path) + std::string(kTempInfix);
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix) {
            unlink((folder + "/" + std::string(name)).c_str());
        }
    }
    closedir(dir);
}

bool Replace(const std::string& path, const std::string& text, mode_t mode) {
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + std::string(kTempInfix) + std::to_string(getpid()) + "-" +
               std::to_string(counter++);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }
    const bool written = WriteAll(fd, text) && fchmod(fd, mode) == 0 && fdatasync(fd) == 0;
    if (close(fd) != 0 || !written || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    // Readers already see the new file; a folder that cannot be synced (a
    // file system without fsync on folders) leaves nothing to undo, so that
    // is not reported as a failed rewrite.
    [[maybe_unused]] const bool durable = SyncFolder(ParentOf(path));
    return true;
}

}  // namespace

namespace CvAtomicFile {

std::optional<std::string> Read(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    const bool ok = ReadAll(fd, text);
    close(fd);
    if (!ok) {
        return std::nullopt;
    }
    return text;
}

bool Update(const std::string& path, const Change& change) {
    if (!MakeFolders(ParentOf(path))) {
        return false;
    }
    CvFileLock lock(path);
    if (!lock.Locked()) {
        return false;
    }
    std::string current;
    if (!ReadAll(lock.Fd(), current)) {
        return false;
    }
    const std::optional<std::string> next = change(current);
    if (!next) {
        return true;
    }
    RemoveStaleTemps(path);
    return Replace(path, *next, lock.Mode());
}

bool Remove(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return errno == ENOENT;
    }
    CvFileLock lock(path);
    if (!lock.Locked()) {
        return false;
    }
    RemoveStaleTemps(path);
    if (unlink(path.c_str()) != 0) {
        return false;
    }
    [[maybe_unused]] const bool durable = SyncFolder(ParentOf(path));  // as in Replace
    return true;
}

bool CanReplace(const std::string& path) {
    if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0) {
        return false;
    }
    std::string folder = ParentOf(path);
    for (;;) {
        struct stat st {};
        if (stat(folder.c_str(), &st) == 0) {
            return S_ISDIR(st.st_mode) && access(folder.c_str(), W_OK | X_OK) == 0;
        }
        const std::string parent = ParentOf(folder);
        if (parent == folder) {
            return false;
        }
        folder = parent;
    }
}

}  // namespace CvAtomicFile
