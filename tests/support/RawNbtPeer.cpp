#include "support/RawNbtPeer.h"

#include <cerrno>
#include <chrono>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in Endpoint(uint32_t ip, uint16_t port) {
    sockaddr_in endpoint{};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(port);
    endpoint.sin_addr.s_addr = htonl(ip);
    return endpoint;
}

}  // namespace

RawNbtPeer::Listener::Listener(uint32_t ip, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    const int on = 1;
    const sockaddr_in endpoint = Endpoint(ip, port);
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint) != 0 ||
        listen(fd, SOMAXCONN) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
        close(fd);
        return;
    }
    m_fd = fd;
    m_port = ntohs(bound.sin_port);
}

RawNbtPeer::Listener::~Listener() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

std::optional<RawNbtPeer> RawNbtPeer::Listener::Accept(int timeoutMs) {
    pollfd ready{m_fd, POLLIN, 0};
    if (m_fd < 0 || poll(&ready, 1, timeoutMs) != 1) {
        return std::nullopt;
    }
    const int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    return RawNbtPeer(fd);
}

RawNbtPeer::RawNbtPeer() : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}

bool RawNbtPeer::Connect(uint32_t ip, uint16_t port, uint32_t sourceIp, int timeoutMs) {
    const sockaddr_in source = Endpoint(sourceIp, 0);
    const sockaddr_in target = Endpoint(ip, port);
    if (m_fd < 0 || (sourceIp != 0 &&
                     bind(m_fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0)) {
        return false;
    }
    // Non-blocking for the connect only, so that it waits no longer than told.
    const int flags = fcntl(m_fd, F_GETFL);
    fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
    bool connected = connect(m_fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0;
    if (!connected && errno == EINPROGRESS && WaitFor(POLLOUT, timeoutMs)) {
        int error = 0;
        socklen_t size = sizeof error;
        connected = getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    fcntl(m_fd, F_SETFL, flags);
    return connected;
}

uint16_t RawNbtPeer::FreePort(uint32_t ip) {
    const Listener probe(ip, 0);
    return probe.Port();
}

RawNbtPeer::RawNbtPeer(RawNbtPeer&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_reader(std::move(other.m_reader)),
      m_floodBlock(std::move(other.m_floodBlock)),
      m_floodOffset(other.m_floodOffset) {}

RawNbtPeer& RawNbtPeer::operator=(RawNbtPeer&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_reader = std::move(other.m_reader);
        m_floodBlock = std::move(other.m_floodBlock);
        m_floodOffset = other.m_floodOffset;
    }
    return *this;
}

RawNbtPeer::~RawNbtPeer() {
    Close();
}

void RawNbtPeer::SetSendBuffer(int bytes) {
    setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

bool RawNbtPeer::WaitFor(short events, int timeoutMs) const {
    pollfd ready{m_fd, events, 0};
    for (;;) {
        const int result = poll(&ready, 1, timeoutMs);
        if (result < 0 && errno == EINTR) {
            continue;
        }
        return result == 1;
    }
}

bool RawNbtPeer::Send(std::span<const uint8_t> bytes, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!bytes.empty()) {
        const ssize_t sent = send(m_fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            bytes = bytes.subspan(static_cast<size_t>(sent));
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitFor(POLLOUT, static_cast<int>(left.count()))) {
            return false;
        }
    }
    return true;
}

bool RawNbtPeer::SendFrame(const NbtSessionFrame& frame, int timeoutMs) {
    auto bytes = frame.Encode();
    return bytes && Send(bytes.Value(), timeoutMs);
}

bool RawNbtPeer::SendRequest(const NbtName& called, const NbtName& calling) {
    return SendFrame(NbtSessionFrame::SessionRequest(called, calling));
}

std::optional<NbtSessionFrame> RawNbtPeer::ReadFrame(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto next = m_reader.Next();
        if (!next) {
            return std::nullopt;
        }
        if (next.Value()) {
            return std::move(next).Value();
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitFor(POLLIN, static_cast<int>(left.count()))) {
            return std::nullopt;
        }
        uint8_t chunk[16384];
        const ssize_t got = recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got > 0) {
            m_reader.Feed({chunk, static_cast<size_t>(got)});
        } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            return std::nullopt;
        }
    }
}

bool RawNbtPeer::WaitClosed(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        uint8_t chunk[16384];
        const ssize_t got = recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            return true;
        }
        if (got > 0) {
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitFor(POLLIN, static_cast<int>(left.count()))) {
            return false;
        }
    }
}

size_t RawNbtPeer::Flood(std::span<const uint8_t> block, size_t maxBytes, int quietMs) {
    m_floodBlock.assign(block.begin(), block.end());
    m_floodOffset = 0;
    size_t written = 0;
    while (written < maxBytes && !m_floodBlock.empty()) {
        const ssize_t sent = send(m_fd, m_floodBlock.data() + m_floodOffset,
                                  m_floodBlock.size() - m_floodOffset, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            written += static_cast<size_t>(sent);
            m_floodOffset = (m_floodOffset + static_cast<size_t>(sent)) % m_floodBlock.size();
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            break;
        }
        if (!WaitFor(POLLOUT, quietMs)) {
            break;
        }
    }
    return written;
}

bool RawNbtPeer::FinishFlood(int timeoutMs) {
    if (m_floodOffset == 0) {
        return true;
    }
    const std::span<const uint8_t> rest(m_floodBlock.data() + m_floodOffset,
                                        m_floodBlock.size() - m_floodOffset);
    m_floodOffset = 0;
    return Send(rest, timeoutMs);
}

void RawNbtPeer::Close(bool abortive) {
    if (m_fd < 0) {
        return;
    }
    if (abortive) {
        const linger reset{1, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    close(m_fd);
    m_fd = -1;
}
