#pragma once

#include <cstdint>
#include <deque>
#include <map>

#include "platform/CvNcb.h"
#include "platform/nbt/CvNbtIoLoop.h"
#include "platform/nbt/NbtName.h"
#include "platform/nbt/NbtResult.h"
#include "platform/nbt/NbtSessionFrameReader.h"

// One TCP connection of the session service, from connect or accept until
// hang-up. Holds the socket, the frame reader, the bytes still to write and
// the messages not yet received by a command. I/O thread only.
class CvNbtSession {
public:
    enum class State {
        Handshake,    // waiting for the SESSION REQUEST or its response
        Established,  // has a local session number; carries messages
        Closed,       // the peer closed or the connection failed; awaits hang-up
    };

    explicit CvNbtSession(int fd) : m_fd(fd) {}
    CvNbtSession(const CvNbtSession&) = delete;
    CvNbtSession& operator=(const CvNbtSession&) = delete;
    ~CvNbtSession() { CloseSocket(); }

    int Fd() const { return m_fd; }
    void CloseSocket();
    // Replaces the socket (a retargeted call reconnects).
    void SetSocket(int fd);

    // Reads what the socket has into the frame reader; false on end of
    // stream or a socket error.
    bool ReadAvailable();
    NbtSessionFrameReader& Reader() { return m_reader; }
    void ResetReader() { m_reader = NbtSessionFrameReader(); }

    // Queues bytes and writes as much as the socket takes; false on a socket
    // error. Returns the stream offset just past bytes.
    uint64_t Queue(const NbtBytes& bytes);
    bool Flush();
    bool WantsWrite() const { return !m_out.empty(); }
    uint64_t Written() const { return m_written; }

    // Received messages: copies the rest of the oldest one into buffer, up to
    // length bytes; true when it was all copied (and dropped).
    bool TakeMessage(uint8_t* buffer, uint16_t& length);
    bool HasMessage() const { return !m_messages.empty(); }
    void AddMessage(NbtBytes message) { m_messages.push_back(std::move(message)); }

    State state = State::Handshake;
    uint8_t lana = 0;
    uint8_t lsn = 0;
    uint8_t rto = 0;  // 500 ms units, 0 = none
    uint8_t sto = 0;
    NbtName localName;
    NbtName remoteName;
    // Outgoing call in progress: the command, the address tried, retargets left.
    CvNcb* callNcb = nullptr;
    int retargetsLeft = 0;
    CvNbtIoLoop::TimerId handshakeTimer = 0;

    struct PendingSend {
        CvNcb* ncb = nullptr;
        uint64_t end = 0;
        CvNbtIoLoop::TimerId timer = 0;
    };
    std::deque<CvNcb*> receives;
    std::map<CvNcb*, CvNbtIoLoop::TimerId> receiveTimers;
    std::deque<PendingSend> sends;

private:
    int m_fd = -1;
    NbtSessionFrameReader m_reader;
    NbtBytes m_out;
    uint64_t m_queued = 0;
    uint64_t m_written = 0;
    std::deque<NbtBytes> m_messages;
    size_t m_frontOffset = 0;
};
