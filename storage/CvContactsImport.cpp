#include "storage/CvContactsImport.h"

#include <cstdio>
#include <filesystem>

#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "storage/CvContact.h"
#include "storage/CvContactsManager.h"

CvContactsImport::CvContactsImport(CvAppPropertyList& settings, std::string appDataFolder,
                                   const CvAppSettingsStore* store)
    : m_settings(settings), m_appDataFolder(std::move(appDataFolder)), m_store(store) {}

std::string CvContactsImport::FilePath() const {
    if (m_settings.Get(CvSettingId::kContactListUseFilePath).GetInt() != 0) {
        return m_settings.Get(CvSettingId::kContactListFilePath).GetText();
    }
    const std::string folder =
        m_appDataFolder.empty() ? std::string() : m_appDataFolder + "/Corvane Messenger/2.x";
    return folder.empty() ? "contacts.txt" : folder + "/contacts.txt";
}

CvContactsImport::CheckResult CvContactsImport::Check() {
    if (m_settings.Get(CvSettingId::kContactListAskImportDisabled).GetInt() != 0) {
        return kNothing;
    }
    if (m_settings.Get(CvSettingId::kContactListDisableEdit).GetInt() != 0) {
        return kDisableQuestion;
    }
    const std::string path = FilePath();
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return kDisableQuestion;
    }
    m_loaded.Load(path);
    return m_loaded.GetLastIndex() >= 0 ? kAsk : kDisableQuestion;
}

bool CvContactsImport::Answer(enum Answer answer, CvContactsManager& manager) {
    if (answer == kCancel) {
        return true;
    }
    if (answer == kYes) {
        const int last = m_loaded.GetLastIndex();
        for (int row = 0; row <= last; ++row) {
            CvContact contact;
            contact.conttype = static_cast<int32_t>(m_loaded.ReadValue(row, u"Type").AsInteger());
            contact.name = m_loaded.ReadValue(row, u"RealName").AsAnsi();
            contact.displayname = m_loaded.ReadValue(row, u"DisplayName").AsAnsi();
            contact.groupname = m_loaded.ReadValue(row, u"GroupName").AsAnsi();
            manager.SaveContact(contact);
        }
    }
    return DisableQuestion();
}

bool CvContactsImport::DisableQuestion() {
    m_settings.Set(CvSettingId::kContactListAskImportDisabled, CvPropertyValue::Integer(1));
    m_settings.Commit();
    if (m_store && !m_store->SaveOne(m_settings, CvSettingId::kContactListAskImportDisabled)) {
        std::fprintf(stderr, "corvane: cannot write the import question setting\n");
        return false;
    }
    return true;
}
