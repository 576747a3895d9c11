#pragma once

#include <QPoint>

#include <string>
#include <vector>

#include "messaging/CvRecipient.h"
#include "storage/CvContact.h"

class CBrowseNetForm;
class CContactEditForm;
class CContactMassAddForm;
class CContactsForm;
class CHistoryForm;
class CNewMsgForm;
class CvAppPropertyList;
class CvAppSettingsStore;
class CvContactsManager;
class CvStation;
class QObject;

// What a window asks of the program around it: the other windows it opens,
// the error popup and sounds, the settings and the station. The hub
// (CMainForm) implements it; windows hold this instead of the hub, so that
// the hub can make them without each of them depending on it. Every call is
// made on the user interface thread.
class CvFormHost {
public:
    virtual ~CvFormHost() = default;

    // Opens (or reuses) a write-message window for the recipients; null when
    // sending is disabled or the program is closing.
    virtual CNewMsgForm* OpenWriteMessage(const std::vector<CvRecipient>& recipients) = 0;
    // Opens (or brings up) the message archive window; with `dialogue` 0 or
    // more it shows the dialogue list, with -1 it keeps its view. Null when
    // archiving is disabled.
    virtual CHistoryForm* OpenArchive(int dialogue) = 0;
    // Opens (or brings up) the "Local network search" window.
    virtual CBrowseNetForm* OpenLanBrowser() = 0;
    // The contact list window (null before start-up or without a list).
    virtual CContactsForm* ContactList() const = 0;
    // Shows the contact list for `owner` (null: the hub), placed at `anchor`
    // by the CvContactLayout flags.
    virtual void ShowContactList(QObject* owner, QPoint anchor, int verticalFlags,
                                 int horizontalFlags) = 0;
    // The contact edit dialog for `existing`, or for a new contact filled
    // from `prefill`; null without a contact list or when editing is disabled.
    virtual CContactEditForm* OpenContactEdit(const CvContact* existing,
                                              const CvContact& prefill) = 0;
    // The dialog that adds `recipients` to one group; null when editing is
    // disabled or there is nothing to add.
    virtual CContactMassAddForm* OpenContactMassAdd(const std::vector<CvContact>& recipients) = 0;

    // Replaces the error popup by one with the date, the time and `text`.
    virtual void ShowErrorPopup(const std::string& text) = 0;
    virtual void PlaySoundFile(const std::string& path) = 0;

    virtual CvAppPropertyList& Settings() = 0;
    // Where windows keep their placement.
    virtual const CvAppSettingsStore& SettingsStore() const = 0;
    // Where the interface language files are.
    virtual std::string LanguageFolder() const = 0;
    // Why global hot keys are off in this session ("" when they work).
    virtual const std::string& HotKeysUnavailable() const = 0;

    // The station that sends (null before start-up).
    virtual CvStation* Station() const = 0;
    // The contact list's rows (null without a contact list).
    virtual CvContactsManager* Contacts() const = 0;
    // Whether the program keeps a message archive.
    virtual bool HasArchive() const = 0;
    // The object that takes the private window messages a window sends to
    // its owner (the contact list's row picks and layout requests).
    virtual QObject* MessageTarget() = 0;
};
