#include "storage/CvContactListAutocompleteData.h"

#include "platform/CvTextCodec.h"
#include "storage/CvContactsManager.h"

namespace {

bool Contains(const std::string& text, const std::string& upperTyped) {
    return CvText::UpperCase(text).find(upperTyped) != std::string::npos;
}

}  // namespace

void CvContactListAutocompleteData::Rebuild(const std::string& typed) {
    m_entries.clear();
    if (m_manager == nullptr) {
        return;
    }
    const std::string upper = CvText::UpperCase(typed);
    for (const CvContactGroup& group : m_manager->Groups()) {
        if (Contains(group.name, upper)) {
            m_entries.push_back({group.name, std::string(), kGroupKind});
        }
        for (const CvContact& contact : group.contacts) {
            if (Contains(contact.name, upper) || Contains(contact.displayname, upper)) {
                m_entries.push_back({contact.name, contact.displayname, contact.conttype});
            }
        }
    }
}

const CvContactListAutocompleteData::Entry* CvContactListAutocompleteData::At(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_entries.size()) {
        return nullptr;
    }
    return &m_entries[static_cast<size_t>(index)];
}

std::string CvContactListAutocompleteData::GetSecondText(int index) {
    const Entry* entry = At(index);
    return entry != nullptr ? entry->secondText : std::string();
}

std::string CvContactListAutocompleteData::GetText(int index) {
    const Entry* entry = At(index);
    return entry != nullptr ? entry->text : std::string();
}

int32_t CvContactListAutocompleteData::GetKind(int index) {
    const Entry* entry = At(index);
    return entry != nullptr ? entry->kind : 0;
}
