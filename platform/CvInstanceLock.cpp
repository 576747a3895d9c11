#include "platform/CvInstanceLock.h"

#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsPrivateFolder(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 077) == 0;
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

std::string CvInstanceLock::LockFolder() {
    std::string folder;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && runtime[0] == '/') {
        folder = std::string(runtime) + "/corvane";
    } else {
        folder = "/tmp/corvane-" + std::to_string(geteuid());
    }
    mkdir(folder.c_str(), 0700);
    return IsPrivateFolder(folder) ? folder : std::string();
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
    const std::string folder = LockFolder();
    if (folder.empty() || m_name.empty() || m_name.find('/') != std::string::npos) {
        return false;
    }
    const std::string path = folder + "/" + m_name;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    const int operation = (m_mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (flock(fd, operation) != 0) {
        close(fd);
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
