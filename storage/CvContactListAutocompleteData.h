#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/CvAutocompleteData.h"

class CvContactsManager;

// Offers the contact list: groups whose name contains the typed text, and
// contacts whose network or display name contains it (letter case ignored).
// A contact entry has the network name as text, the display name as second
// text and the contact type as kind; a group entry has the group name as
// text, an empty second text and kind kGroupKind.
class CvContactListAutocompleteData : public CvAutocompleteData {
public:
    static constexpr int32_t kGroupKind = 3;

    // Without a manager there are no entries. Not owned.
    explicit CvContactListAutocompleteData(CvContactsManager* manager = nullptr)
        : m_manager(manager) {}
    void SetManager(CvContactsManager* manager) { m_manager = manager; }

    void Rebuild(const std::string& typed) override;
    int GetCount() override { return static_cast<int>(m_entries.size()); }
    std::string GetSecondText(int index) override;
    std::string GetText(int index) override;
    int32_t GetKind(int index) override;

private:
    struct Entry {
        std::string text;
        std::string secondText;
        int32_t kind = 0;
    };

    const Entry* At(int index) const;

    CvContactsManager* m_manager;
    std::vector<Entry> m_entries;
};
