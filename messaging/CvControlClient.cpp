#include "messaging/CvControlClient.h"

#include <cerrno>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "messaging/CvControlSocket.h"

CvControlClient::Outcome CvControlClient::Send(const CvControlRequest& request,
                                               const std::string& path, uint32_t timeoutMs) {
    Outcome outcome;
    sockaddr_un address{};
    if (!CvControlSocket::MakeAddress(path, address)) {
        outcome.status = Status::NoStation;
        return outcome;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        outcome.error = "cannot create a socket";
        return outcome;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        close(fd);
        if (error == ENOENT || error == ECONNREFUSED) {
            outcome.status = Status::NoStation;
        } else {
            outcome.error = "cannot reach the running station";
        }
        return outcome;
    }
    if (CvControlSocket::PeerUid(fd) != static_cast<long>(geteuid())) {
        close(fd);
        outcome.error = "the control socket belongs to another user";
        return outcome;
    }
    std::string line;
    if (!CvControlSocket::WriteAll(fd, CvControlProtocol::EncodeRequest(request))) {
        outcome.error = "the running station closed the connection";
    } else if (CvControlSocket::ReadLine(fd, line, CvControlProtocol::kMaxLine, timeoutMs, {}) !=
               CvControlSocket::ReadResult::Line) {
        outcome.error = "no answer from the running station";
    } else if (auto reply = CvControlProtocol::DecodeReply(line)) {
        outcome.status = Status::Replied;
        outcome.reply = *reply;
    } else {
        outcome.error = "malformed answer from the running station";
    }
    close(fd);
    return outcome;
}
