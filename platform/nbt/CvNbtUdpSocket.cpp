#include "platform/nbt/CvNbtUdpSocket.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t kMaxUdpPayload = 65536;

}  // namespace

CvNbtUdpSocket::~CvNbtUdpSocket() {
    Close();
}

int CvNbtUdpSocket::Open(uint16_t port) {
    Close();
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return errno;
    }
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        close(fd);
        return error;
    }
    m_fd = fd;
    return 0;
}

void CvNbtUdpSocket::Close() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

bool CvNbtUdpSocket::Receive(CvNbtUdpPacket& packet) {
    if (m_fd < 0) {
        return false;
    }
    packet.data.resize(kMaxUdpPayload);
    sockaddr_in source{};
    iovec io{packet.data.data(), packet.data.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_name = &source;
    message.msg_namelen = sizeof source;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t received = recvmsg(m_fd, &message, MSG_DONTWAIT);
    if (received < 0) {
        packet.data.clear();
        return false;
    }
    packet.data.resize(static_cast<size_t>(received));
    packet.sourceIp = ntohl(source.sin_addr.s_addr);
    packet.sourcePort = ntohs(source.sin_port);
    packet.interfaceIndex = 0;
    packet.destinationIp = 0;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(header), sizeof info);
            packet.interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
            packet.destinationIp = ntohl(info.ipi_addr.s_addr);
        }
    }
    return true;
}

bool CvNbtUdpSocket::Send(std::span<const uint8_t> data, uint32_t ip, uint16_t port,
                          uint32_t sourceIp, unsigned interfaceIndex) {
    if (m_fd < 0) {
        return false;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(ip);
    iovec io{const_cast<uint8_t*>(data.data()), data.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &target;
    message.msg_namelen = sizeof target;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    if (sourceIp != 0 || interfaceIndex != 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = static_cast<int>(interfaceIndex);
        info.ipi_spec_dst.s_addr = htonl(sourceIp);
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }
    return sendmsg(m_fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL) ==
           static_cast<ssize_t>(data.size());
}
