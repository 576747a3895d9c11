#include "platform/CvUnixMailslots.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/CvTextCodec.h"

namespace {

bool MakeAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Mailslot names are case-insensitive; their files use the upper-case form.
std::string FileName(const std::string& name) {
    std::string upper = CvText::UpperCase(name);
    std::replace(upper.begin(), upper.end(), '/', '_');
    return upper;
}

class UnixLocalMailslot : public CvLocalMailslot {
public:
    UnixLocalMailslot(int socket, int lock, std::string path, uint32_t maxMessageSize)
        : m_socket(socket), m_lock(lock), m_path(std::move(path)), m_max(maxMessageSize) {}

    ~UnixLocalMailslot() override {
        unlink(m_path.c_str());
        close(m_socket);
        close(m_lock);  // releases the ownership lock
    }

    bool GetInfo(uint32_t& nextSize, uint32_t& count) override {
        for (;;) {
            uint8_t probe = 0;
            const ssize_t size =
                recv(m_socket, &probe, sizeof probe, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
            if (size < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    nextSize = 0;
                    count = 0;
                    return true;
                }
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            if (static_cast<uint32_t>(size) > m_max) {
                // Longer than the mailslot accepts: refused, as if never written.
                recv(m_socket, &probe, sizeof probe, MSG_DONTWAIT);
                continue;
            }
            nextSize = static_cast<uint32_t>(size);
            count = 1;  // at least one; the socket does not tell how many
            return true;
        }
    }

    int Read(uint8_t* buffer, uint32_t size) override {
        uint32_t nextSize = 0;
        uint32_t count = 0;
        if (!GetInfo(nextSize, count) || count == 0 || nextSize > size) {
            return -1;
        }
        const ssize_t length = recv(m_socket, buffer, size, MSG_DONTWAIT);
        return length < 0 ? -1 : static_cast<int>(length);
    }

private:
    int m_socket;
    int m_lock;
    std::string m_path;
    uint32_t m_max;
};

class UnixMailslotWriter : public CvMailslotWriter {
public:
    explicit UnixMailslotWriter(std::string path) : m_path(std::move(path)) {}

    bool Write(std::span<const uint8_t> message) override {
        sockaddr_un address;
        if (!MakeAddress(m_path, address)) {
            return false;
        }
        const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return false;
        }
        const ssize_t sent = sendto(fd, message.data(), message.size(), MSG_DONTWAIT,
                                    reinterpret_cast<const sockaddr*>(&address), sizeof address);
        close(fd);
        return sent == static_cast<ssize_t>(message.size());
    }

private:
    std::string m_path;
};

}  // namespace

CvUnixMailslots::CvUnixMailslots(CvMailslotProvider* remote, std::string directory)
    : m_remote(remote),
      m_directory(directory.empty() ? DefaultDirectory() : std::move(directory)) {}

std::string CvUnixMailslots::DefaultDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string base = runtime != nullptr && *runtime != '\0'
                           ? std::string(runtime) + "/corvane"
                           : "/tmp/corvane-" + std::to_string(getuid());
    return base + "/mailslot";
}

std::unique_ptr<CvLocalMailslot> CvUnixMailslots::CreateMailslot(const std::string& name,
                                                                 uint32_t maxMessageSize) {
    std::error_code error;
    std::filesystem::create_directories(m_directory, error);
    const std::filesystem::path parent = std::filesystem::path(m_directory).parent_path();
    chmod(parent.c_str(), 0700);
    chmod(m_directory.c_str(), 0700);

    const std::string path = m_directory + "/" + FileName(name);
    const int lock = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) {
        return nullptr;
    }
    if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
        close(lock);  // another owner holds it
        return nullptr;
    }
    sockaddr_un address;
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || !MakeAddress(path, address)) {
        if (fd >= 0) {
            close(fd);
        }
        close(lock);
        return nullptr;
    }
    unlink(path.c_str());  // left by an owner that died
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        close(lock);
        return nullptr;
    }
    chmod(path.c_str(), 0600);
    return std::make_unique<UnixLocalMailslot>(fd, lock, path, maxMessageSize);
}

std::unique_ptr<CvMailslotWriter> CvUnixMailslots::OpenMailslot(const std::string& target,
                                                                const std::string& name) {
    if (target == ".") {
        const std::string path = m_directory + "/" + FileName(name);
        if (access(path.c_str(), F_OK) != 0) {
            return nullptr;  // nobody has created it
        }
        return std::make_unique<UnixMailslotWriter>(path);
    }
    return m_remote != nullptr ? m_remote->OpenMailslot(target, name) : nullptr;
}
