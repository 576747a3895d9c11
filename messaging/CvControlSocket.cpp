#include "messaging/CvControlSocket.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace CvControlSocket {

ReadResult ReadLine(int fd, std::string& line, size_t maxBytes, uint32_t timeoutMs,
                    const std::function<bool()>& stop) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    line.clear();
    char buffer[4096];
    for (;;) {
        if (stop && stop()) {
            return ReadResult::TimedOut;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return ReadResult::TimedOut;
        }
        pollfd item{fd, POLLIN, 0};
        const int ready = poll(&item, 1, static_cast<int>(std::min<long long>(left, 100)));
        if (ready < 0 && errno != EINTR) {
            return ReadResult::Closed;
        }
        if (ready <= 0) {
            continue;
        }
        // Peek first, so that nothing beyond the line is taken.
        const ssize_t peeked = recv(fd, buffer, sizeof buffer, MSG_PEEK);
        if (peeked < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (peeked <= 0) {
            return ReadResult::Closed;
        }
        const void* newline = std::memchr(buffer, '\n', static_cast<size_t>(peeked));
        const size_t take =
            newline != nullptr ? static_cast<size_t>(static_cast<const char*>(newline) - buffer) + 1
                               : static_cast<size_t>(peeked);
        const ssize_t got = recv(fd, buffer, take, 0);
        if (got <= 0) {
            return ReadResult::Closed;
        }
        line.append(buffer, static_cast<size_t>(got));
        if (line.size() > maxBytes) {
            return ReadResult::TooLong;
        }
        if (newline != nullptr && static_cast<size_t>(got) == take) {
            return ReadResult::Line;
        }
    }
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t written = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

long PeerUid(int fd) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        length != sizeof credentials) {
        return -1;
    }
    return static_cast<long>(credentials.uid);
}

bool MakeAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

}  // namespace CvControlSocket
