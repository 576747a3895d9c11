#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>

// Keeps the incoming connections that are still in the session handshake
// within a total cap and a cap per source address. At a cap the oldest
// handshake in the full scope gives way to a new caller once it is older
// than the grace time (callers that never finish their request cannot lock
// others out); otherwise the new caller is refused. I/O thread only.
class CvNbtHandshakeGate {
public:
    using Clock = std::chrono::steady_clock;
    using SessionId = uint64_t;

    struct Decision {
        bool admit = true;
        SessionId evict = 0;  // a handshake the caller must end first; 0 for none
    };

    // Caps below 1 count as 1.
    CvNbtHandshakeGate(size_t total, size_t perAddress, Clock::duration grace);

    // Whether a caller from address (IPv4, host order) may start a handshake
    // at now. Changes nothing: Add the new one and Remove the evicted one.
    Decision Admit(uint32_t address, Clock::time_point now) const;
    // Ids must grow with time: the smallest id is the oldest handshake.
    void Add(SessionId id, uint32_t address, Clock::time_point started);
    // The handshake ended (session established, refused or closed); ids not
    // held are ignored.
    void Remove(SessionId id);
    size_t Count() const { return m_entries.size(); }

private:
    struct Entry {
        uint32_t address = 0;
        Clock::time_point started;
    };

    size_t m_total;
    size_t m_perAddress;
    Clock::duration m_grace;
    std::map<SessionId, Entry> m_entries;
};
