#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/CvThread.h"
#include "messaging/CMsg.h"
#include "messaging/CvControlProtocol.h"

class CvStation;

// The control socket of a running station: programs of the same user hand
// it a message (CvControlProtocol), it goes through the station's outbox, and
// the send result goes back. Requests are served one at a time on the
// server's thread (the outbox sends one at a time anyway). Connections from
// other users are refused (peer credentials); a request must arrive within
// kRequestTimeoutMs.
//
// The owner opens it, starts the thread, and stops it before the station.
class CvControlServer : public CvThread {
public:
    static constexpr uint32_t kRequestTimeoutMs = 5000;

    CvControlServer(CvStation& station, std::string path);
    // Stops the thread, closes the socket and removes its file.
    ~CvControlServer() override;

    // "control" in the user's private lock folder (CvInstanceLock::LockFolder);
    // "" when there is no such folder.
    static std::string DefaultPath();

    // Binds and listens (mode 0600). A socket file left by an ended station
    // is replaced; false, with the reason, when another server answers there
    // or the socket cannot be made.
    bool Open(std::string* error);

    // The message a request asks `station` to send: signed with the
    // station's default sender or the requested one (which must be one of
    // its own names), addressed to the recipient in upper case like every
    // NetBIOS name, with the text cut to what the station sends with its
    // current limits (CvStation::SentText). False, with the reason, when the sender is
    // not ours.
    static bool BuildMessage(const CvStation& station, const CvControlRequest& request, CMsg& msg,
                             std::string* error);
    const std::string& Path() const { return m_path; }
    // Before Start; kRequestTimeoutMs unless set.
    void SetRequestTimeout(uint32_t ms) { m_requestTimeoutMs = ms; }

protected:
    void Run() override;

private:
    void Serve(int fd);
    CvControlReply Handle(const CvControlRequest& request);

    CvStation& m_station;
    std::string m_path;
    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};  // wakes the thread to stop
    uint32_t m_requestTimeoutMs = kRequestTimeoutMs;
    std::atomic<int32_t> m_nextId{1};
};
