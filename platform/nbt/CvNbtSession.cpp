#include "platform/nbt/CvNbtSession.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

void CvNbtSession::CloseSocket() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

void CvNbtSession::SetSocket(int fd) {
    CloseSocket();
    m_fd = fd;
    m_out.clear();
    m_written = m_queued;
}

bool CvNbtSession::ReadAvailable() {
    uint8_t chunk[16384];
    for (;;) {
        const ssize_t got = recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got > 0) {
            m_reader.Feed({chunk, static_cast<size_t>(got)});
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return false;
    }
}

uint64_t CvNbtSession::Queue(const NbtBytes& bytes) {
    m_out.insert(m_out.end(), bytes.begin(), bytes.end());
    m_queued += bytes.size();
    return m_queued;
}

bool CvNbtSession::Flush() {
    while (!m_out.empty()) {
        const ssize_t sent = send(m_fd, m_out.data(), m_out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            m_out.erase(m_out.begin(), m_out.begin() + sent);
            m_written += static_cast<uint64_t>(sent);
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        return false;
    }
    return true;
}

bool CvNbtSession::TakeMessage(uint8_t* buffer, uint16_t& length) {
    const NbtBytes& front = m_messages.front();
    const size_t rest = front.size() - m_frontOffset;
    const size_t copied = std::min<size_t>(rest, length);
    if (copied > 0) {
        std::memcpy(buffer, front.data() + m_frontOffset, copied);
    }
    length = static_cast<uint16_t>(copied);
    if (copied < rest) {
        m_frontOffset += copied;
        return false;
    }
    m_messages.pop_front();
    m_frontOffset = 0;
    return true;
}
