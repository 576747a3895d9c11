#include "storage/CvContactsImport.h"

#include <filesystem>

#include "app/CvAppSettingsTable.h"
#include "app/CvPropertyList.h"
#include "storage/CvContact.h"
#include "storage/CvContactsManager.h"

CvContactsImport::CvContactsImport(CvPropertyList& settings, std::string appDataFolder)
    : m_settings(settings), m_appDataFolder(std::move(appDataFolder)) {}

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

void CvContactsImport::Answer(enum Answer answer, CvContactsManager& manager) {
    if (answer == kCancel) {
        return;
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
    DisableQuestion();
}

void CvContactsImport::DisableQuestion() {
    m_settings.Set(CvSettingId::kContactListAskImportDisabled, CvPropertyValue::Integer(1));
    m_settings.Commit();
}
