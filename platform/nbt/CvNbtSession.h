#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>

#include "platform/CvNcb.h"
#include "platform/nbt/CvNbtIoLoop.h"
#include "platform/nbt/NbtName.h"
#include "platform/nbt/NbtResult.h"
#include "platform/nbt/NbtSessionFrameReader.h"

// One TCP connection of the session service, from connect or accept until
// hang-up. Holds the socket, the frame reader, the bytes still to write and
// the messages not yet received by a command. I/O thread only.
//
// What the session holds of received data (HeldBytes) is mirrored into a
// counter shared by all sessions of the service, which outlives them.
class CvNbtSession {
public:
    enum class State {
        Handshake,    // waiting for the SESSION REQUEST or its response
        Established,  // has a local session number; carries messages
        Closed,       // the peer closed or the connection failed; awaits hang-up
    };

    enum class ReadResult {
        Drained,       // the socket has nothing more for now
        LimitReached,  // the limit was read; the socket may have more
        Ended,         // end of stream or a socket error
    };

    CvNbtSession(int fd, size_t& heldTotal) : m_fd(fd), m_heldTotal(heldTotal) {}
    CvNbtSession(const CvNbtSession&) = delete;
    CvNbtSession& operator=(const CvNbtSession&) = delete;
    ~CvNbtSession();

    int Fd() const { return m_fd; }
    // Counts the sockets set so far; tells a retargeted call's new
    // connection from the old one, whatever their descriptor numbers.
    uint32_t SocketSerial() const { return m_socketSerial; }
    void CloseSocket();
    // Replaces the socket (a retargeted call reconnects).
    void SetSocket(int fd);

    // Reads at most limit bytes of what the socket has into the frame reader.
    ReadResult Read(size_t limit);
    // The next complete frame of what was read; see NbtSessionFrameReader.
    NbtResult<std::optional<NbtSessionFrame>> NextFrame();
    // Forgets what was read and not yet framed.
    void ResetReader();

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
    size_t MessageCount() const { return m_messages.size(); }
    void AddMessage(NbtBytes message);
    // Received bytes not yet taken: queued messages and the bytes in the
    // reader (the frame being read and frames not yet taken out).
    size_t HeldBytes() const { return m_held; }
    // Drops every received byte: queued messages and the reader's content.
    void DropReceived();

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
    // Runs while the session sits at its own bound with nothing taken.
    CvNbtIoLoop::TimerId stallTimer = 0;
    // The socket is not polled: it reported a hang-up or an error while the
    // session had no room to read, and poll would report it again at once.
    bool parked = false;
    // What commands on the closed session complete with.
    uint8_t closeCode = kNrcSClosed;

    struct PendingSend {
        CvNcb* ncb = nullptr;
        uint64_t end = 0;
        CvNbtIoLoop::TimerId timer = 0;
    };
    std::deque<CvNcb*> receives;
    std::map<CvNcb*, CvNbtIoLoop::TimerId> receiveTimers;
    std::deque<PendingSend> sends;

private:
    // Reader capacity kept for the next frames once the reader is empty.
    static constexpr size_t kKeptReaderBytes = 32 * 1024;

    // Brings m_held and the shared total up to date.
    void Recount();

    int m_fd = -1;
    uint32_t m_socketSerial = 0;
    size_t& m_heldTotal;
    size_t m_held = 0;
    NbtSessionFrameReader m_reader;
    size_t m_readerPeak = 0;  // most bytes the reader held since it was new
    NbtBytes m_out;
    uint64_t m_queued = 0;
    uint64_t m_written = 0;
    std::deque<NbtBytes> m_messages;
    size_t m_messageBytes = 0;
    size_t m_frontOffset = 0;
};
