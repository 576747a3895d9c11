#pragma once

#include <cstdint>
#include <span>
#include <vector>

// One UDP packet as received, with where it came from and the interface it
// arrived on. Addresses in host order.
struct CvNbtUdpPacket {
    std::vector<uint8_t> data;
    uint32_t sourceIp = 0;
    uint16_t sourcePort = 0;
    unsigned interfaceIndex = 0;  // 0 when the kernel did not say
    uint32_t destinationIp = 0;   // the header destination: unicast or broadcast
};

// A non-blocking UDP socket bound to 0.0.0.0:port with SO_REUSEADDR and
// SO_BROADCAST. It hears the broadcasts of every interface; IP_PKTINFO tells
// the arrival interface, and sends pick their interface and source address.
class CvNbtUdpSocket {
public:
    CvNbtUdpSocket() = default;
    CvNbtUdpSocket(const CvNbtUdpSocket&) = delete;
    CvNbtUdpSocket& operator=(const CvNbtUdpSocket&) = delete;
    ~CvNbtUdpSocket();

    // 0 on success, else the errno of the failed call (EADDRINUSE, EACCES...).
    int Open(uint16_t port);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    // The next queued packet; false when none is waiting.
    bool Receive(CvNbtUdpPacket& packet);
    // Sends out of interfaceIndex with sourceIp as the source address (either
    // may be 0 to let routing choose). False when the kernel refused it.
    bool Send(std::span<const uint8_t> data, uint32_t ip, uint16_t port, uint32_t sourceIp,
              unsigned interfaceIndex);

private:
    int m_fd = -1;
};
