#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/nbt/NbtName.h"
#include "platform/nbt/NbtResult.h"
#include "platform/nbt/NbtSessionFrame.h"
#include "platform/nbt/NbtSessionFrameReader.h"

// A scripted NetBIOS session peer for tests: raw session frames over TCP, so
// that a test can play a caller or a server exactly as well or as badly as
// it needs (idle, trickling, flooding, retargeting). Addresses are IPv4 in
// host order; every wait has a time-out in milliseconds.
class RawNbtPeer {
public:
    // A listening socket that hands out accepted peers.
    class Listener {
    public:
        // Binds ip:port (0 = a free port); Valid() tells whether it worked.
        explicit Listener(uint32_t ip, uint16_t port = 0);
        ~Listener();
        Listener(const Listener&) = delete;
        Listener& operator=(const Listener&) = delete;

        bool Valid() const { return m_fd >= 0; }
        uint16_t Port() const { return m_port; }
        std::optional<RawNbtPeer> Accept(int timeoutMs = 5000);

    private:
        int m_fd = -1;
        uint16_t m_port = 0;
    };

    // A TCP port nobody listens on at ip right now (bound once, then freed).
    static uint16_t FreePort(uint32_t ip);

    // An unconnected TCP socket (so that a test can take the descriptor
    // before it makes descriptors scarce).
    RawNbtPeer();
    explicit RawNbtPeer(int fd) : m_fd(fd) {}
    RawNbtPeer(RawNbtPeer&& other) noexcept;
    RawNbtPeer& operator=(RawNbtPeer&& other) noexcept;
    RawNbtPeer(const RawNbtPeer&) = delete;
    RawNbtPeer& operator=(const RawNbtPeer&) = delete;
    ~RawNbtPeer();

    int Fd() const { return m_fd; }
    // Connects to ip:port from sourceIp (0 = any) and waits until the
    // connection is up; false when it fails.
    bool Connect(uint32_t ip, uint16_t port, uint32_t sourceIp = 0, int timeoutMs = 5000);
    // Caps the kernel's send buffer, so that what a flood gets out measures
    // what the other side takes rather than what the kernel buffers here.
    void SetSendBuffer(int bytes);

    bool Send(std::span<const uint8_t> bytes, int timeoutMs = 5000);
    bool SendFrame(const NbtSessionFrame& frame, int timeoutMs = 5000);
    bool SendRequest(const NbtName& called, const NbtName& calling);
    // The next frame; nullopt on time-out, end of stream or a broken stream.
    std::optional<NbtSessionFrame> ReadFrame(int timeoutMs = 5000);
    // True when the other side closes (end of stream or reset) within the
    // time-out; what it sends before that is skipped.
    bool WaitClosed(int timeoutMs = 5000);

    // Writes back-to-back copies of block until maxBytes went out or the
    // other side took nothing for quietMs; returns the bytes written. A copy
    // cut short is completed by FinishFlood.
    size_t Flood(std::span<const uint8_t> block, size_t maxBytes, int quietMs);
    bool FinishFlood(int timeoutMs = 5000);

    // Ends the connection with FIN, or with RST when abortive.
    void Close(bool abortive = false);

private:
    bool WaitFor(short events, int timeoutMs) const;

    int m_fd = -1;
    NbtSessionFrameReader m_reader;
    NbtBytes m_floodBlock;
    size_t m_floodOffset = 0;  // bytes of the current copy already written
};
