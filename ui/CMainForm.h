#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "app/CvAppPropertyList.h"
#include "app/CvMemberFunction.h"
#include "messaging/CvNetDirectory.h"
#include "messaging/CvRecipient.h"
#include "storage/CvContact.h"
#include "storage/CvPopupList.h"
#include "ui/CNoTrayForm.h"
#include "ui/CPopupMsgForm.h"
#include "ui/CvFormHost.h"

class CBrowseNetForm;
class CContactEditForm;
class CContactMassAddForm;
class CContactsForm;
class CNewMsgForm;
class COptionsForm;
class CvAppSettingsStore;
class CvContactListFile;
class CvContactsImport;
class CvContactsManager;
class CvCoreTask;
class CvDesktopServices;
class CvHostScanner;
class CvHotKeyDispatcher;
class CvMsgArchive;
class CvNetNamePinger;
class CvNetbiosNetwork;
class CvPingerPresenceProbe;
class CvStation;
class CvStationHost;
class CvTaskWriteMsg;
class CvTrayIconManager;
class QMenu;

// The hidden hub of the running program. It owns the long-lived objects (the
// station with its clients and outbox, the name pinger, the host scanner, the
// contact list, the tray icon, the hot keys, the settings and the popup
// list), runs the start-up sequence from its event loop, turns what worker
// threads report into window actions, and opens every other window.
//
// Worker threads never touch windows: they put a record into a queue and
// post one of the numbered messages below; the handlers run here, on the
// user interface thread, in the order posted.
class CHistoryForm;
class CMainForm : public QObject, public CvFormHost {
    Q_OBJECT
public:
    // Private messages.
    static constexpr int kMsgNewMessage = 0x401;   // wParam: type of the last message
    static constexpr int kMsgOpenContact = 0x404;  // wParam 150: lParam a contact
    static constexpr int kMsgReceived = 0x428;     // the received queue has records
    static constexpr int kMsgShowError = 0x432;    // text: the error popup's message
    static constexpr int kMsgStartup = 0x434;      // run the start-up sequence
    static constexpr int kMsgContactLayout = 0x435;
    static constexpr int kMsgSent = 0x436;          // the sent queue has records
    static constexpr int kMsgImportAnswer = 0x801;  // wParam: 2 import, 1 never ask
    static constexpr int kMsgClose = 0x10;          // shut down (tray menu, end of session)

    // Commands.
    static constexpr int kCmdWriteMessage = 109;
    static constexpr int kCmdAbout = 110;
    static constexpr int kCmdOptions = 111;
    static constexpr int kCmdExit = 112;
    static constexpr int kCmdTrayClick = 113;
    static constexpr int kCmdReadMessages = 117;
    static constexpr int kCmdNothing = 127;
    static constexpr int kCmdNewContact = 148;
    static constexpr int kCmdCopy = 189;
    static constexpr int kCmdDelete = 190;

    // Hot key identifiers (the ids of their settings).
    static constexpr int kHotKeyWriteNewMsg = 21;
    static constexpr int kHotKeyReplyLastMsg = 22;
    static constexpr int kHotKeyOpenIncoming = 23;
    static constexpr int kHotKeyBrowseLan = 24;

    // Posts the start-up message to itself. `services` must outlive it.
    explicit CMainForm(CvDesktopServices& services);
    // Shuts down if that has not happened yet.
    ~CMainForm() override;

    void PostMessage(int message, qintptr wParam = 0, qintptr lParam = 0, const QString& text = {});
    void Command(int id);
    // Shuts down (the tray menu's "Exit Corvane"); ends the event loop.
    void Close();
    bool IsStarted() const { return m_started; }
    bool IsClosed() const { return m_closed; }

    // Opens (or reuses) a write-message window for the recipients; null when
    // sending is disabled.
    CNewMsgForm* OpenWriteMessage(const std::vector<CvRecipient>& recipients) override;
    // Opens (or brings up) the message archive window; with `dialogue` 0 or
    // more it shows the dialogue list with its first dialogue selected, with
    // -1 it keeps its view. Null when archiving is disabled.
    CHistoryForm* OpenArchive(int dialogue) override;
    CHistoryForm* ArchiveWindow() const;
    // Opens (or brings up) the "Local network search" window.
    CBrowseNetForm* OpenLanBrowser() override;
    CBrowseNetForm* LanBrowser() const;
    // Opens (or brings up) the options dialog; null when the tray menu is
    // without its options entry.
    COptionsForm* OpenOptions();
    COptionsForm* OptionsWindow() const;
    // Where the interface language files are.
    std::string LanguageFolder() const override;
    // The contact list window, made at start-up (null before).
    CContactsForm* ContactList() const override;
    // Shows the contact list for `owner` (null: this window), placed at
    // `anchor` by the CvContactLayout flags.
    void ShowContactList(QObject* owner, QPoint anchor, int verticalFlags,
                         int horizontalFlags) override;
    // Opens the contact edit dialog: for `existing`, or, when null, for a new
    // contact filled from `prefill` (kind, name, display name, group if set).
    // An open dialog for the same contact is brought up. Null without a
    // contact list or when editing is disabled.
    CContactEditForm* OpenContactEdit(const CvContact* existing, const CvContact& prefill) override;
    // Opens the dialog that adds `recipients` (kind, name, display name) to
    // one group. Null without a contact list, recipients, or when editing is
    // disabled.
    CContactMassAddForm* OpenContactMassAdd(const std::vector<CvContact>& recipients) override;
    // Shows the message popup; `mode` as CvPopupList's opening modes.
    void ShowPopup(bool activate, int mode);
    // Replaces the error popup by one with the date, the time and `text`.
    void ShowErrorPopup(const std::string& text) override;
    void PlaySoundFile(const std::string& path) override;

    // For the write-message windows.
    CvAppPropertyList& Settings() override { return m_settings; }
    const CvAppSettingsStore& SettingsStore() const override { return *m_store; }
    CvStation* Station() const override;
    CvContactsManager* Contacts() const override { return m_contacts.get(); }
    bool HasArchive() const override { return Archive() != nullptr; }
    QObject* MessageTarget() override { return this; }
    // For the LAN browser (null before start-up).
    CvNetNamePinger* Pinger() const { return m_pinger.get(); }
    CvHostScanner* Scanner() const { return m_scanner.get(); }
    CvNetDirectory& Directory() { return m_directory; }
    // What the station calls with each received message (any thread; after
    // start-up).
    CvUnaryFunction<void, CMsg&>& ReceivedBinding();

    // For the tests and the end-to-end checks.
    CvPopupList& PopupList() { return m_popupList; }
    CPopupMsgForm* Popup() const { return m_popup.data(); }
    CPopupMsgForm* ErrorPopup() const { return m_errorPopup.data(); }
    QMenu* TrayMenu() const { return m_trayMenu; }
    QMenu* MoreMenu() const { return m_moreMenu; }
    CvTrayIconManager* Tray() const { return m_tray.get(); }
    CvHotKeyDispatcher* HotKeys() const { return m_hotKeys.get(); }
    // The message archive; null when archiving is disabled or the file could
    // not be opened (ArchiveProblem says why).
    CvMsgArchive* Archive() const;
    const std::string& ArchiveProblem() const { return m_archiveProblem; }
    std::vector<CNewMsgForm*> WriteWindows();
    CNoTrayForm* NoTrayWindow() const { return m_noTray.data(); }
    // Why global hot keys are off in this session ("" when they work).
    const std::string& HotKeysUnavailable() const override { return m_hotKeysUnavailable; }

    // Popup list operations (the popup's buttons and menu).
    void PopupReply();
    void PopupPrevious();
    void PopupNext();
    void PopupMore();
    void PopupClose();
    bool PopupCloseRequest();
    void PopupAfterHide();
    bool PopupAutoCloseRequest();

signals:
    // The start-up sequence ran (the station started).
    void started();
    // Messages were filed and the user notified (after 0x401).
    void messagesArrived(int count);

protected:
    void customEvent(QEvent* event) override;

private:
    void Startup();
    void BuildTrayMenu();
    void OnReceived();
    void OnNewMessage(int32_t type);
    void OnSent();
    // Records the archive file refused (another program held its lock) are
    // filed again every second until none waits.
    void RetryArchiveLater();
    void OnImportAnswer(int answer);
    void OnOpenContact(qintptr index);
    // Ends modal dialogs and menus; true when the close must wait until
    // their event loops have returned.
    bool EndNestedLoops();
    void Shutdown();

    // Bound to other objects' events.
    void OnReceivedWakeUp() { PostMessage(kMsgReceived); }
    void OnSentWakeUp() { PostMessage(kMsgSent); }
    void OnSettingsChanged(CvPropertyIterator& changes);
    void OnTrayMouse(long message);
    void OnTrayHover();
    void OnCounts(int& total, int& unread);
    int32_t OnNameState(const std::string& name, int32_t kind);
    int32_t OnOwnNameState(const std::string& name);
    void OnHotKeyWrite();
    void OnHotKeyReply();
    void OnHotKeyOpenIncoming() { OpenArchive(0); }
    void OnHotKeyBrowseLan() { OpenLanBrowser(); }

    void RegisterHotKeys();
    void FillPopup();
    void PlacePopup(CPopupMsgForm& popup);
    void ApplyPopupSettings();
    // The auto-close delay of the message popup from the settings.
    void ApplyPopupClosing();
    void MarkCurrentRead();
    // Makes the row the "More..." menu was opened on current again; false
    // when it is gone.
    bool SelectHeldRow();
    void CopyCurrentMessage();
    void DeleteCurrentMessage();
    void RunImportPrompt();
    void ShowNoTrayNotice();
    // The error popup saying that the archive could not be opened, and why.
    void ShowArchiveProblem();
    void ShowTrayMenu();
    void ShowAbout();
    void PruneTasks();
    int Int(int32_t id) const;

    CvDesktopServices& m_services;
    bool m_started = false;
    bool m_closed = false;
    // The event loop level the hub runs in (modal dialogs run deeper ones).
    int m_loopLevel = 0;

    std::string m_computerName;
    std::string m_userName;
    std::string m_domainName;

    CvAppPropertyList m_settings;
    std::unique_ptr<CvAppSettingsStore> m_store;
    std::unique_ptr<CvContactListFile> m_contactFile;
    // The station, the control socket, the archive and the filing of
    // received and sent messages, with their stop order.
    std::unique_ptr<CvStationHost> m_host;
    std::string m_archiveProblem;
    std::unique_ptr<CvNetbiosNetwork> m_queryNetwork;
    std::unique_ptr<CvNetNamePinger> m_pinger;
    std::unique_ptr<CvHostScanner> m_scanner;
    // This station has joined no domain: searches list no directory accounts.
    CvNoNetDirectory m_directory;
    std::unique_ptr<CvPingerPresenceProbe> m_probe;
    std::unique_ptr<CvContactsManager> m_contacts;
    std::unique_ptr<CvContactsImport> m_import;

    CvPopupList m_popupList;
    QTimer m_archiveRetry;
    std::unique_ptr<CvHotKeyDispatcher> m_hotKeys;
    std::string m_hotKeysUnavailable;
    std::unique_ptr<CvTrayIconManager> m_tray;

    QMenu* m_trayMenu = nullptr;
    QMenu* m_moreMenu = nullptr;
    bool m_menuOpen = false;
    // The popup row the "More..." menu acts on (CvPopupList::CurrentId), -1
    // for the current one.
    int64_t m_heldRow = -1;
    QPointer<CPopupMsgForm> m_popup;
    QPointer<CPopupMsgForm> m_errorPopup;
    QPointer<CNoTrayForm> m_noTray;
    QPointer<CHistoryForm> m_history;
    QPointer<CBrowseNetForm> m_lanBrowser;
    QPointer<CContactsForm> m_contactList;
    std::vector<std::unique_ptr<CvCoreTask>> m_tasks;

    CvVoidNullaryMemberFunction<CMainForm> m_receivedWakeUp{this, &CMainForm::OnReceivedWakeUp};
    CvVoidNullaryMemberFunction<CMainForm> m_sentWakeUp{this, &CMainForm::OnSentWakeUp};
    CvVoidUnaryMemberFunction<CMainForm, CvPropertyIterator&> m_settingsBinding{
        this, &CMainForm::OnSettingsChanged};
    CvVoidUnaryMemberFunction<CMainForm, long> m_trayMouseBinding{this, &CMainForm::OnTrayMouse};
    CvVoidNullaryMemberFunction<CMainForm> m_trayHoverBinding{this, &CMainForm::OnTrayHover};
    CvVoidBinaryMemberFunction<CMainForm, int&, int&> m_countsBinding{this, &CMainForm::OnCounts};
    CvBinaryMemberFunction<CMainForm, int32_t, const std::string&, int32_t> m_nameStateBinding{
        this, &CMainForm::OnNameState};
    CvUnaryMemberFunction<CMainForm, int32_t, const std::string&> m_ownNameStateBinding{
        this, &CMainForm::OnOwnNameState};
    CvVoidNullaryMemberFunction<CMainForm> m_hotKeyWrite{this, &CMainForm::OnHotKeyWrite};
    CvVoidNullaryMemberFunction<CMainForm> m_hotKeyReply{this, &CMainForm::OnHotKeyReply};
    CvVoidNullaryMemberFunction<CMainForm> m_hotKeyOpenIncoming{this,
                                                                &CMainForm::OnHotKeyOpenIncoming};
    CvVoidNullaryMemberFunction<CMainForm> m_hotKeyBrowseLan{this, &CMainForm::OnHotKeyBrowseLan};
    CvVoidNullaryMemberFunction<CMainForm> m_replyBinding{this, &CMainForm::PopupReply};
    CvVoidNullaryMemberFunction<CMainForm> m_previousBinding{this, &CMainForm::PopupPrevious};
    CvVoidNullaryMemberFunction<CMainForm> m_nextBinding{this, &CMainForm::PopupNext};
    CvVoidNullaryMemberFunction<CMainForm> m_moreBinding{this, &CMainForm::PopupMore};
    CvVoidNullaryMemberFunction<CMainForm> m_closeBinding{this, &CMainForm::PopupClose};
    CvTypedNullaryMemberFunction<CMainForm, bool> m_closeRequestBinding{
        this, &CMainForm::PopupCloseRequest};
    CvVoidNullaryMemberFunction<CMainForm> m_afterHideBinding{this, &CMainForm::PopupAfterHide};
    CvTypedNullaryMemberFunction<CMainForm, bool> m_autoCloseBinding{
        this, &CMainForm::PopupAutoCloseRequest};
    CvVoidUnaryMemberFunction<CMainForm, CPopupMsgForm&> m_placerBinding{this,
                                                                         &CMainForm::PlacePopup};
};
