#include "platform/nbt/CvNbtSession.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

CvNbtSession::~CvNbtSession() {
    CloseSocket();
    m_heldTotal -= m_held;
}

void CvNbtSession::CloseSocket() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

void CvNbtSession::SetSocket(int fd) {
    CloseSocket();
    m_fd = fd;
    ++m_socketSerial;
    m_out.clear();
    m_written = m_queued;
}

CvNbtSession::ReadResult CvNbtSession::Read(size_t limit) {
    uint8_t chunk[16384];
    size_t left = limit;
    ReadResult result = ReadResult::LimitReached;
    while (left > 0) {
        const ssize_t got = recv(m_fd, chunk, std::min(left, sizeof chunk), MSG_DONTWAIT);
        if (got > 0) {
            m_reader.Feed({chunk, static_cast<size_t>(got)});
            m_readerPeak = std::max(m_readerPeak, m_reader.Buffered());
            left -= static_cast<size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        result = got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? ReadResult::Drained
                                                                      : ReadResult::Ended;
        break;
    }
    Recount();
    return result;
}

NbtResult<std::optional<NbtSessionFrame>> CvNbtSession::NextFrame() {
    auto next = m_reader.Next();
    // The reader keeps the capacity of its largest frame; once it is empty,
    // let that go rather than pin it for the life of the session.
    if (next && m_reader.Buffered() == 0 && m_readerPeak > kKeptReaderBytes) {
        m_reader = NbtSessionFrameReader();
        m_readerPeak = 0;
    }
    Recount();
    return next;
}

void CvNbtSession::ResetReader() {
    m_reader = NbtSessionFrameReader();
    m_readerPeak = 0;
    Recount();
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

void CvNbtSession::AddMessage(NbtBytes message) {
    m_messageBytes += message.size();
    m_messages.push_back(std::move(message));
    Recount();
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
        Recount();
        return false;
    }
    m_messageBytes -= front.size();
    m_messages.pop_front();
    m_frontOffset = 0;
    Recount();
    return true;
}

void CvNbtSession::DropReceived() {
    m_messages.clear();
    m_messageBytes = 0;
    m_frontOffset = 0;
    ResetReader();
}

void CvNbtSession::Recount() {
    const size_t held = m_reader.Buffered() + m_messageBytes - m_frontOffset;
    m_heldTotal = m_heldTotal - m_held + held;
    m_held = held;
}
