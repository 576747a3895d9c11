#pragma once

#include <string>

#include "storage/CvContactsDataSet.h"

class CvPropertyList;
class CvContactsManager;

// The one-time import of the earlier major version's contact list file.
class CvContactsImport {
public:
    enum CheckResult { kNothing = 0, kDisableQuestion = 1, kAsk = 2 };
    enum Answer { kYes, kNo, kCancel };

    // `appDataFolder` is the per-user application data folder (may be empty).
    CvContactsImport(CvPropertyList& settings, std::string appDataFolder);

    // The file the earlier version kept its contacts in.
    std::string FilePath() const;

    // kNothing when the question is disabled; kDisableQuestion when editing is
    // disabled or the file is missing, unreadable or empty (the caller then
    // disables the question); kAsk when the file yielded contacts, which stay
    // loaded for Answer.
    CheckResult Check();

    // kYes stores every loaded contact as a new one and disables the
    // question; kNo only disables it; kCancel does nothing, so the question
    // comes again on the next start.
    void Answer(Answer answer, CvContactsManager& manager);

    // Sets ContactListAskImportDisabled and commits the settings list.
    void DisableQuestion();

    CvContactsDataSet& Loaded() { return m_loaded; }

private:
    CvPropertyList& m_settings;
    std::string m_appDataFolder;
    CvContactsDataSet m_loaded;
};
