#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "platform/CvNetbiosProvider.h"

// Passes commands to a NetBIOS provider until it is closed. Close cancels
// every asynchronous command still pending through the gate, so that threads
// waiting for a call, receive or listen return at once, and from then on
// refuses every command that could start new work (calls, listens, sends,
// receives, adding names) with kNrcEnvNotDef; the clean-up commands (cancel,
// hang up, delete name) and the enumeration still pass, so that ports can
// release their names. Thread-safe; the provider must outlive the gate.
class CvNetbiosGate : public CvNetbiosProvider {
public:
    explicit CvNetbiosGate(CvNetbiosProvider& provider) : m_provider(provider) {}

    uint8_t Submit(CvNcb& ncb) override;

    // Cancels what is pending and refuses new work; idempotent.
    void Close();
    bool IsClosed() const;

    // Asynchronous commands submitted through the gate and not yet cancelled
    // (an NCB that completed stays counted until its owner cancels it).
    size_t TrackedCount() const;

private:
    static bool PassesWhenClosed(uint8_t command);

    CvNetbiosProvider& m_provider;
    mutable std::mutex m_lock;
    bool m_closed = false;
    // Pending NCB -> its adapter number (kept here: the NCB is not read again).
    std::map<CvNcb*, uint8_t> m_pending;
};
