#include "messaging/CvControlServer.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "messaging/CvControlSocket.h"
#include "messaging/CvMsgComposer.h"
#include "messaging/CvMsgOutboxSendResult.h"
#include "messaging/CvStation.h"
#include "messaging/SendResultCode.h"
#include "platform/CvEvent.h"
#include "platform/CvInstanceLock.h"
#include "platform/CvTextCodec.h"

namespace {

// Receives the one result of a queued message.
class ResultWaiter : public CvUnaryFunction<void, CvMsgOutboxSendResult&> {
public:
    void Invoke(CvMsgOutboxSendResult& result) override {
        code = result.code;
        done.Set();
    }

    std::atomic<int32_t> code{0};
    CvEvent done{true, false};
};

// True when a server answers on `path`.
bool SomeoneListens(const std::string& path) {
    sockaddr_un address{};
    if (!CvControlSocket::MakeAddress(path, address)) {
        return false;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool connected =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

}  // namespace

CvControlServer::CvControlServer(CvStation& station, std::string path)
    : m_station(station), m_path(std::move(path)) {
    if (pipe2(m_wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_wakeFds[0] = m_wakeFds[1] = -1;
    }
}

CvControlServer::~CvControlServer() {
    RequestStop();
    // The thread sleeps in poll() until a client or this byte comes.
    if (m_wakeFds[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(m_wakeFds[1], &byte, 1);
    }
    StopAndWait();
    if (m_listenFd >= 0) {
        close(m_listenFd);
        unlink(m_path.c_str());
    }
    for (int fd : m_wakeFds) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

std::string CvControlServer::DefaultPath() {
    const std::string folder = CvInstanceLock::LockFolder();
    return folder.empty() ? std::string() : folder + "/control";
}

bool CvControlServer::Open(std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    sockaddr_un address{};
    if (!CvControlSocket::MakeAddress(m_path, address)) {
        return fail("no usable control socket path \"" + m_path + "\"");
    }
    if (SomeoneListens(m_path)) {
        return fail("another station serves " + m_path);
    }
    unlink(m_path.c_str());  // left by a station that ended
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return fail(std::string("socket: ") + std::strerror(errno));
    }
    // Private from the start: Linux gives the socket file the mode of the
    // socket (less the umask), so there is no moment in which others could
    // connect. Changing the umask instead would change it for every thread
    // of the process. Should fchmod not take, the chmod after bind still
    // sets the mode, and the default path lies in a folder only we can enter.
    [[maybe_unused]] const int ownMode = fchmod(fd, 0600);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        chmod(m_path.c_str(), 0600) != 0 || listen(fd, 8) != 0) {
        const int error = errno;
        close(fd);
        return fail(m_path + ": " + std::strerror(error));
    }
    m_listenFd = fd;
    return true;
}

void CvControlServer::Run() {
    // Without a wake pipe, look for the stop request now and then.
    const int waitMs = m_wakeFds[0] >= 0 ? -1 : 100;
    while (!IsStopRequested()) {
        pollfd items[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}};
        if (poll(items, m_wakeFds[0] >= 0 ? 2 : 1, waitMs) <= 0 || items[1].revents != 0 ||
            items[0].revents == 0) {
            continue;
        }
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        Serve(fd);
        close(fd);
    }
}

void CvControlServer::Serve(int fd) {
    if (CvControlSocket::PeerUid(fd) != static_cast<long>(geteuid())) {
        CvControlSocket::WriteAll(fd, CvControlProtocol::EncodeReply({0, "permission denied"}));
        return;
    }
    std::string line;
    const auto read =
        CvControlSocket::ReadLine(fd, line, CvControlProtocol::kMaxLine, m_requestTimeoutMs,
                                  [this] { return IsStopRequested(); });
    CvControlReply reply;
    if (read == CvControlSocket::ReadResult::TooLong) {
        reply.error = "request too long";
    } else if (read != CvControlSocket::ReadResult::Line) {
        return;  // gone, too slow, or we stop
    } else {
        std::string reason;
        if (auto request = CvControlProtocol::DecodeRequest(line, &reason)) {
            reply = Handle(*request);
        } else {
            reply.error = reason;
        }
    }
    CvControlSocket::WriteAll(fd, CvControlProtocol::EncodeReply(reply));
}

bool CvControlServer::BuildMessage(const CvStation& station, const CvControlRequest& request,
                                   CMsg& msg, std::string* error) {
    msg.type = request.type;
    if (request.sender.empty()) {
        msg.sender = station.Settings().DefaultSender();
    } else if (!station.IsOwnSender(request.sender, &msg.sender)) {
        if (error != nullptr) {
            *error = "not a name of this station: " + request.sender;
        }
        return false;
    }
    msg.address = CvText::UpperCase(request.recipient);
    msg.recipient = msg.address;
    // The clients cut a longer text on the wire; the record, which is what
    // gets archived as sent, holds what goes out with the limits in force
    // now (the user may have changed them since the station started).
    msg.text = request.text;
    msg.text = station.SentText(msg);
    return true;
}

CvControlReply CvControlServer::Handle(const CvControlRequest& request) {
    CMsg msg;
    std::string error;
    if (!BuildMessage(m_station, request, msg, &error)) {
        return {0, error};
    }

    ResultWaiter waiter;
    const int32_t id = m_nextId++;
    if (!m_station.Enqueue(msg, &waiter, id)) {
        return {0, "the station is stopping"};
    }
    if (!WaitForEventOrStop(waiter.done, kInfinite)) {
        m_station.Withdraw(id);  // no result reaches `waiter` after this
        if (waiter.done.Wait(0) != kWaitObject0) {
            return {0, "the station is stopping"};
        }
    }
    // A success was reported to the station's sent receiver by the outbox.
    return {waiter.code.load(), {}};
}
