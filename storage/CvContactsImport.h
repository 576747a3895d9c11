#pragma once

#include <string>

#include "storage/CvContactsDataSet.h"

class CvAppPropertyList;
class CvAppSettingsStore;
class CvContactsManager;

// The one-time import of the earlier major version's contact list file.
class CvContactsImport {
public:
    enum CheckResult { kNothing = 0, kDisableQuestion = 1, kAsk = 2 };
    enum Answer { kYes, kNo, kCancel };

    // `appDataFolder` is the per-user application data folder (may be empty).
    // With a `store`, disabling the question also writes it to the user's
    // store at once, so that it holds whatever happens to the running program.
    CvContactsImport(CvAppPropertyList& settings, std::string appDataFolder,
                     const CvAppSettingsStore* store = nullptr);

    // The file the earlier version kept its contacts in.
    std::string FilePath() const;

    // kNothing when the question is disabled; kDisableQuestion when editing is
    // disabled or the file is missing, unreadable or empty (the caller then
    // disables the question); kAsk when the file yielded contacts, which stay
    // loaded for Answer.
    CheckResult Check();

    // kYes stores every loaded contact as a new one and disables the
    // question; kNo only disables it; kCancel does nothing, so the question
    // comes again on the next start. False when the question could not be
    // written to the store.
    bool Answer(Answer answer, CvContactsManager& manager);

    // Sets ContactListAskImportDisabled, commits the settings list and writes
    // the value to the store. False when that write failed.
    bool DisableQuestion();

    CvContactsDataSet& Loaded() { return m_loaded; }

private:
    CvAppPropertyList& m_settings;
    std::string m_appDataFolder;
    const CvAppSettingsStore* m_store;
    CvContactsDataSet m_loaded;
};
