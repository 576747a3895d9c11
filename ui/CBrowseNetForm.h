#pragma once

#include <QIcon>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/CvMemberFunction.h"
#include "app/CvMemberFunctionSafe.h"
#include "messaging/CvNetNamePingResult.h"
#include "messaging/CvNetResourceInfo.h"
#include "storage/CvContact.h"
#include "ui/CvFormBase.h"

class CvFormHost;
class CvHostScanner;
class CvNetDirectory;
class CvNetNamePinger;
class CvNetworkSearch;
class FormBrowseLanSetting;
class QAction;
class QLabel;
class QMenu;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

// The "Local network search" window: runs LAN searches, lists what they find
// grouped by a column of the user's choice, probes the entries whose state
// the search cannot tell, and writes to, adds to the contact list or opens
// the history of the selected entries. Ctrl+C in the list copies the
// selected rows as text.
//
// Found entries and probe results arrive on worker threads; each goes into a
// queue under its own lock and the window is posted 0x805 or 0x806. The list
// is touched on the window's thread only.
class CBrowseNetForm : public CvFormBase {
    Q_OBJECT
public:
    // Private messages.
    static constexpr int kMsgFound = 0x805;           // the found queue has entries
    static constexpr int kMsgPingResult = 0x806;      // the probe queue has results
    static constexpr int kMsgSearchFinished = 0x807;  // wParam: the search's number

    // Commands.
    static constexpr int kCmdWriteMessage = 178;
    static constexpr int kCmdAddToContacts = 179;
    static constexpr int kCmdViewHistory = 180;
    static constexpr int kCmdStopSearch = 181;
    static constexpr int kCmdStartSearch = 182;
    static constexpr int kCmdSettings = 186;

    static constexpr int kStateTimerMs = 1000;  // timer 1
    // Opening the window reads the neighbourhood afresh when the scanner's
    // latest pass is older than this; "Start search" always does.
    static constexpr int kFreshPassAgeMs = 5000;
    static constexpr int kDefaultWidth = 790;
    static constexpr int kDefaultHeight = 527;

    // Entry kinds and states.
    enum Kind { kKindComputerNode = 1, kKindAccount = 2, kKindDomain = 3 };
    enum State { kStateUnknown = 1, kStateRetrieving = 2, kStateOffline = 3, kStateAvailable = 4 };
    enum Source { kSourceNeighbourhood = 1, kSourceDirectory = 2 };
    // Grouping modes (the column they group by).
    enum Grouping {
        kGroupByName = 1,
        kGroupByComputer = 2,
        kGroupByDomain = 3,
        kGroupByState = 4,
        kGroupBySource = 5,
        kGroupByComment = 6
    };

    // One row of the list.
    struct Entry {
        std::string name;
        std::string comment;
        std::string computer;
        std::string domain;
        int32_t kind = kKindAccount;
        int32_t state = kStateUnknown;
        int32_t source = kSourceNeighbourhood;

        static Entry FromResource(const CvNetResourceInfo& info);
    };

    // Opens the window's list and starts a search. The pinger, scanner and
    // directory must outlive the window.
    CBrowseNetForm(CvFormHost& main, CvNetNamePinger& pinger, CvHostScanner& scanner,
                   CvNetDirectory& directory);
    // Does what closing does when it has not happened.
    ~CBrowseNetForm() override;

    void Command(int id);
    // The grouping mode; the list is regrouped.
    void SetGrouping(int mode);
    int Grouping() const { return m_grouping; }
    // The group header of `entry` in `mode` ("-" for an empty value).
    static QString GroupHeader(const Entry& entry, int mode);

    // What the search calls with each resource (any thread). Public so that
    // tests deliver entries the way the search does.
    void OnFound(CvNetResourceInfo& info);
    // What the pinger calls with each probe result (any thread), through the
    // Safe binding.
    void OnPingResult(CvNetNamePingResult& result);
    // This window's identifier with the pinger.
    uint32_t Requester() const { return m_requester; }

    bool IsSearching() const { return m_searching; }
    // Closed (it deletes itself later); a new window is needed.
    bool IsClosed() const { return m_finished; }
    QString StatusText() const;
    QTreeWidget* List() const { return m_list; }
    QMenu* ContextMenu() const { return m_menu; }
    QAction* AddToContactsAction() const { return m_addAction; }
    QAction* StartAction() const { return m_start; }
    QAction* StopAction() const { return m_stop; }
    QAction* SettingsAction() const { return m_settingsAction; }
    FormBrowseLanSetting* SettingsPopup() const;
    // The entry shown in `item` (null for a group row).
    const Entry* EntryOf(const QTreeWidgetItem* item) const;
    // Entry rows in the order they were added.
    std::vector<QTreeWidgetItem*> EntryRows() const;

    // "Add to contact list" with one entry and with several; tests replace
    // them. By default they open the main window's contact dialogs.
    std::function<void(const CvContact&)> addOneContact;
    std::function<void(const std::vector<CvContact>&)> addSeveralContacts;

signals:
    // The window was closed; it deletes itself.
    void closed();

protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Row {
        Entry entry;
        QTreeWidgetItem* item = nullptr;
    };

    void StartSearch(bool freshPass);
    void StopSearch();
    void UpdateCommands();
    void OnSearchFinished();
    void TakeFound();
    void FitNameColumns();
    void TakePingResults();
    void ProbeVisibleRows();
    void UpdateRow(uint64_t key);
    void PlaceInGroup(uint64_t key);
    QTreeWidgetItem* GroupItem(const QString& header);
    void RemoveRow(uint64_t key);
    void ClearList();
    std::vector<uint64_t> SelectedKeys() const;
    uint64_t KeyOf(const QTreeWidgetItem* item) const;
    QIcon RowIcon(const Entry& entry) const;
    QString StateText(int32_t state) const;
    QString SourceText(int32_t source) const;
    void WriteMessage();
    void CopySelection();
    void AddToContacts();
    void ViewHistory();
    void OpenSettings();
    bool Flag(int32_t id) const;
    void RestorePlacement();
    void SavePlacement();
    void Finish();

    CvFormHost& m_main;
    CvNetNamePinger& m_pinger;
    CvHostScanner& m_scanner;
    CvNetDirectory& m_directory;

    QToolBar* m_toolbar;
    QAction* m_start;
    QAction* m_stop;
    QAction* m_settingsAction;
    QAction* m_addAction = nullptr;
    QTreeWidget* m_list;
    QLabel* m_status;
    QMenu* m_menu;
    QPointer<FormBrowseLanSetting> m_settingsPopup;
    QTimer m_stateTimer;
    QIcon m_userIcon;
    QIcon m_userOffIcon;
    QIcon m_domainIcon;
    QIcon m_domainOffIcon;

    int m_grouping = kGroupByDomain;
    bool m_searching = false;
    bool m_finished = false;
    std::atomic<int64_t> m_searchNumber{0};  // read by the search's thread
    std::unique_ptr<CvNetworkSearch> m_search;
    uint32_t m_requester = 0;

    uint64_t m_nextKey = 1;
    std::map<uint64_t, Row> m_rows;  // in the order they were added
    // Probes sent and not answered: the keys of the rows, by the probed name.
    std::map<std::string, std::deque<uint64_t>> m_probing;

    std::mutex m_foundLock;
    std::deque<Entry> m_found;
    std::mutex m_resultLock;
    std::deque<CvNetNamePingResult> m_results;

    CvVoidUnaryMemberFunction<CBrowseNetForm, CvNetResourceInfo&> m_foundBinding{
        this, &CBrowseNetForm::OnFound};
    CvVoidNullaryMemberFunction<CBrowseNetForm> m_finishedBinding{
        this, &CBrowseNetForm::OnSearchFinished};
    std::shared_ptr<CvVoidUnaryMemberFunctionSafe<CBrowseNetForm, CvNetNamePingResult&>>
        m_pingBinding;
};
