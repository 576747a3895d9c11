#include "platform/CvInstanceLock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "" when `path` is a folder of this user that nobody else may enter, else
// what is wrong with it.
std::string PrivateFolderProblem(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        const int error = errno;
        return "cannot use the lock folder " + path + ": " + std::strerror(error);
    }
    if (!S_ISDIR(info.st_mode)) {
        return "the lock folder " + path + " is not a folder";
    }
    if (info.st_uid != geteuid()) {
        return "the lock folder " + path + " belongs to another user (uid " +
               std::to_string(info.st_uid) + "); it must be this user's own";
    }
    if ((info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return "the lock folder " + path + " is open to other users (mode " + mode +
               "); it must be 0700";
    }
    return {};
}

void SetProblem(std::string* problem, std::string text) {
    if (problem != nullptr) {
        *problem = std::move(text);
    }
}

}  // namespace

std::string CvInstanceLock::PerUserName(const std::string& userName) {
    std::string name = "CORVANEMESSENGER@" + userName;
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (c == '/') {
            c = '_';
        }
    }
    return name;
}

std::string CvInstanceLock::LockFolder(std::string* problem) {
    SetProblem(problem, {});
    std::string folder;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && runtime[0] == '/') {
        struct stat info {};
        const bool exists = stat(runtime, &info) == 0;
        const int error = errno;
        if (!exists || !S_ISDIR(info.st_mode)) {
            // Falling back to /tmp here would let two programs of the same
            // user with different environments run two stations.
            const std::string what =
                exists            ? "is not a folder"
                : error == ENOENT ? "does not exist"
                                  : std::string("cannot be used (") + std::strerror(error) + ")";
            SetProblem(problem, std::string("XDG_RUNTIME_DIR names ") + runtime + ", which " +
                                    what +
                                    "; point it at this user's runtime folder (normally "
                                    "/run/user/" +
                                    std::to_string(geteuid()) + ") or unset it");
            return {};
        }
        folder = std::string(runtime) + "/corvane";
    } else {
        folder = "/tmp/corvane-" + std::to_string(geteuid());
    }
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        const int error = errno;
        SetProblem(problem,
                   "cannot create the lock folder " + folder + ": " + std::strerror(error));
        return {};
    }
    std::string wrong = PrivateFolderProblem(folder);
    if (!wrong.empty()) {
        SetProblem(problem, std::move(wrong));
        return {};
    }
    return folder;
}

CvInstanceLock::CvInstanceLock(std::string name, Mode mode)
    : m_name(std::move(name)), m_mode(mode) {}

CvInstanceLock::~CvInstanceLock() {
    Release();
}

bool CvInstanceLock::TryAcquire() {
    if (m_fd >= 0) {
        return true;
    }
    m_problem.clear();
    if (m_name.empty() || m_name.find('/') != std::string::npos) {
        m_problem = "\"" + m_name + "\" is no lock name";
        return false;
    }
    const std::string folder = LockFolder(&m_problem);
    if (folder.empty()) {
        return false;
    }
    const std::string path = folder + "/" + m_name;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        const int error = errno;
        m_problem = "cannot open the lock file " + path + ": " + std::strerror(error);
        return false;
    }
    const int operation = (m_mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (flock(fd, operation) != 0) {
        const int error = errno;
        close(fd);
        if (error != EWOULDBLOCK) {
            m_problem = "cannot lock " + path + ": " + std::strerror(error);
        }
        return false;
    }
    m_fd = fd;
    return true;
}

void CvInstanceLock::Release() {
    if (m_fd >= 0) {
        // Closing the only descriptor drops the lock.
        close(m_fd);
        m_fd = -1;
    }
}
