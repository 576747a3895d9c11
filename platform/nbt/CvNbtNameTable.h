#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/nbt/NbtName.h"
#include "platform/nbt/NbtNodeStatus.h"

// One name of an adapter's local name table.
struct CvNbtNameEntry {
    enum class State {
        Registering,  // added, waiting to see whether another station defends it
        Active,       // ours: answered, defended, usable for sessions and datagrams
        Conflict,     // another station claimed it; kept but no longer answered
    };

    uint8_t number = 0;
    NbtName name;
    bool group = false;
    bool internal = false;  // registered by the stack itself, not by a command
    State state = State::Registering;
};

// The names one adapter holds, with their name numbers (1..254, handed out
// round-robin so that a number is not reused at once).
class CvNbtNameTable {
public:
    // Null when the 16 raw bytes are not in the table.
    CvNbtNameEntry* Find(const NbtName& name);
    CvNbtNameEntry* FindNumber(uint8_t number);
    // Null when the table holds kMaxNames names.
    CvNbtNameEntry* Add(const NbtName& name, bool group, bool internal = false);
    void Remove(uint8_t number);

    const std::vector<CvNbtNameEntry>& Entries() const { return m_entries; }
    // Active and conflicting names with their NAME_FLAGS, as node status lists them.
    std::vector<NbtNodeStatusEntry> StatusEntries() const;
    bool HasActiveNames() const;

    static constexpr size_t kMaxNames = 254;

private:
    std::vector<CvNbtNameEntry> m_entries;
    uint8_t m_lastNumber = 0;
};
