#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "app/CvCriticalSection.h"
#include "app/CvFunction.h"
#include "app/CvThreadClassFunction.h"
#include "netbios/CConnection.h"

class CPduBuffer;
class CProtocolDataUnit;

// A transport endpoint with a thread of its own: the thread registers the
// port (Open), serves it (Serve) while it stays open, re-opens it every
// 3000 ms after a failure, and closes it when stopped. Each accepted session
// or received message becomes a connection handed to the connection handler
// (on the port's thread unless the port says otherwise).
//
// A name that another station claims (a name conflict) closes the port and
// marks it in conflict; the thread registers the name again after the re-open
// pause, and a successful registration clears the mark.
class CPort {
public:
    using Handler = CvBinaryFunction<void, CConnection*, void*>;
    static constexpr uint32_t kReopenPauseMs = 3000;

    CPort() = default;
    CPort(const CPort&) = delete;
    CPort& operator=(const CPort&) = delete;
    // Stop the port (Stop) before deleting it; remaining connections are deleted.
    virtual ~CPort();

    virtual void ReceivePdu(CConnection* connection, CProtocolDataUnit& pdu);
    virtual void ReceiveRaw(CConnection* connection, CPduBuffer& buffer);
    virtual void SendPdu(CConnection* connection, CProtocolDataUnit& pdu);
    virtual void SendRaw(CConnection* connection, CPduBuffer& buffer);
    // Removes and deletes the connection.
    virtual void CloseConnection(CConnection* connection);
    // One pass of serving an open port, on the port thread.
    virtual void Serve() = 0;
    // True once the port is open; tries Open every 3000 ms until then (after
    // a conflict it waits that long before the first try). False when stopped
    // first.
    virtual bool WaitOpen();
    virtual bool Open() { return false; }
    virtual void Close() {}
    // A connection to `name` (owned by the port), or null. May throw
    // CvNetworkErr subclasses.
    virtual CConnection* Connect(const std::string& name) = 0;
    // Starts the port thread at the highest priority.
    virtual void Start();
    // Stops the port thread and waits for it.
    virtual void Stop();

    bool IsOpened() const { return m_opened; }
    // True from a name conflict until the name is registered again.
    bool IsInConflict() const { return m_conflict; }
    // The pause between two registration attempts (kReopenPauseMs).
    void SetReopenPause(uint32_t ms) { m_reopenPauseMs = ms; }
    std::string Name() const;
    void SetName(const std::string& name);
    void SetHandler(Handler* handler) { m_handler = handler; }
    void SetCallTimeout(uint16_t ms) { m_callTimeout = ms; }
    void SetSessionTimeout(uint16_t ms) { m_sessionTimeout = ms; }
    size_t ConnectionCount() const;

    // Send statistics the messaging client orders ports by.
    double failures = 0;
    double successes = 0;

protected:
    bool IsStopRequested() const;
    CvThread* Thread() const { return m_thread.get(); }
    // Takes ownership; returns the connection.
    CConnection* AddConnection(std::unique_ptr<CConnection> connection);
    // Deletes the connection if it belongs to this port.
    void RemoveConnection(CConnection* connection);
    void CallHandler(CConnection* connection);
    // Runs `visit` for every live connection, holding the list lock: a
    // connection cannot go away meanwhile, and `visit` must not add or remove
    // connections.
    void ForEachConnection(const std::function<void(CConnection*)>& visit) const;
    // Serving stops because another station claims the name: the port
    // closes, and the thread registers again after the re-open pause.
    void EnterConflict();

    CvCriticalSection m_stateLock;
    std::atomic<bool> m_opened{false};
    std::atomic<bool> m_conflict{false};
    uint16_t m_callTimeout = 2000;
    uint16_t m_sessionTimeout = 0;

private:
    void PortThread(CvThread* thread);

    std::atomic<bool> m_pauseBeforeOpen{false};
    std::atomic<uint32_t> m_reopenPauseMs{kReopenPauseMs};
    std::unique_ptr<CvThreadClassFunction<CPort>> m_thread;
    std::list<std::unique_ptr<CConnection>> m_connections;
    mutable CvCriticalSection m_listLock;
    std::string m_name;
    Handler* m_handler = nullptr;
};
