#include "platform/nbt/CvNbtNameTable.h"

#include <algorithm>

#include "platform/nbt/NbtConstants.h"

CvNbtNameEntry* CvNbtNameTable::Find(const NbtName& name) {
    for (auto& entry : m_entries) {
        if (entry.name.Raw() == name.Raw()) {
            return &entry;
        }
    }
    return nullptr;
}

CvNbtNameEntry* CvNbtNameTable::FindNumber(uint8_t number) {
    for (auto& entry : m_entries) {
        if (entry.number == number) {
            return &entry;
        }
    }
    return nullptr;
}

CvNbtNameEntry* CvNbtNameTable::Add(const NbtName& name, bool group, bool internal) {
    if (m_entries.size() >= kMaxNames) {
        return nullptr;
    }
    uint8_t number = m_lastNumber;
    do {
        number = static_cast<uint8_t>(number >= kMaxNames ? 1 : number + 1);
    } while (FindNumber(number) != nullptr);
    m_lastNumber = number;
    CvNbtNameEntry entry;
    entry.number = number;
    entry.name = name;
    entry.group = group;
    entry.internal = internal;
    m_entries.push_back(entry);
    return &m_entries.back();
}

void CvNbtNameTable::Remove(uint8_t number) {
    std::erase_if(m_entries, [&](const CvNbtNameEntry& entry) { return entry.number == number; });
}

std::vector<NbtNodeStatusEntry> CvNbtNameTable::StatusEntries() const {
    std::vector<NbtNodeStatusEntry> result;
    for (const auto& entry : m_entries) {
        if (entry.state == CvNbtNameEntry::State::Registering) {
            continue;
        }
        uint16_t flags = kNbFlagOntB | kNameFlagActive;
        if (entry.group) {
            flags |= kNbFlagGroup;
        }
        if (entry.state == CvNbtNameEntry::State::Conflict) {
            flags |= kNameFlagConflict;
        }
        result.push_back({entry.name, flags});
    }
    return result;
}

bool CvNbtNameTable::HasActiveNames() const {
    return std::any_of(m_entries.begin(), m_entries.end(), [](const CvNbtNameEntry& entry) {
        return entry.state == CvNbtNameEntry::State::Active;
    });
}
