// The "Local network search" window: grouping and its saved mode, entries
// and probe results arriving as the worker threads deliver them, offline
// rows removed only by probes, the commands on selected rows, copying the
// selection, a real search
// on the virtual LAN, stopping a search, the settings popup and hot key 24.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <chrono>
#include <memory>

#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "messaging/CvHostScanner.h"
#include "messaging/CvNetDirectory.h"
#include "messaging/CvNetNamePinger.h"
#include "messaging/CvNetbiosNetwork.h"
#include "netbios/NetbiosOperations.h"
#include "platform/CvVirtualNeighbourhood.h"
#include "support/MainFormTestCase.h"
#include "ui/CBrowseNetForm.h"
#include "ui/CHistoryForm.h"
#include "ui/CMainForm.h"
#include "ui/CNewMsgForm.h"
#include "ui/FormBrowseLanSetting.h"

namespace Id = CvSettingId;

namespace {

constexpr int kWait = 10000;

CvNetResourceInfo Resource(int32_t type, const std::string& name, const std::string& domain,
                           int32_t state, int32_t directory = 0, const std::string& comment = {}) {
    CvNetResourceInfo info;
    info.type = type;
    info.name = name;
    info.computerName = type == kNetResourceDomain ? "" : name;
    info.domain = domain;
    info.comment = comment;
    info.state = state;
    info.directory = directory;
    return info;
}

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QStringList GroupHeaders(QTreeWidget* list) {
    QStringList headers;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        headers << list->topLevelItem(i)->text(0);
    }
    return headers;
}

QStringList NamesUnder(QTreeWidget* list, const QString& header) {
    QStringList names;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* group = list->topLevelItem(i);
        if (group->text(0) == header) {
            for (int j = 0; j < group->childCount(); ++j) {
                names << group->child(j)->text(0);
            }
        }
    }
    return names;
}

QStringList MenuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions()) {
        texts << action->text();
    }
    return texts;
}

}  // namespace

class BrowseNetFormTest : public MainFormTestCase {
    Q_OBJECT

private:
    // A pinger that is never started: its requests stay queued, so a test
    // sees what was asked and answers itself.
    std::unique_ptr<CvNetbiosNetwork> m_idleNetwork;
    std::unique_ptr<CvNetNamePinger> m_idlePinger;
    std::unique_ptr<CvVirtualNeighbourhood> m_neighbourhood;
    std::unique_ptr<CvHostScanner> m_scanner;
    CvNoNetDirectory m_directory;
    QPointer<CBrowseNetForm> m_form;

    // A scanner whose tree holds BOB's and CAROL's computers in WG, or
    // nothing.
    void MakeScanner(bool withPeers) {
        std::vector<CvVirtualNeighbourhood::Member> members;
        if (withPeers) {
            // The computer names a browser lists (suffix 0x00) beside the
            // messenger names.
            uint8_t number = 0;
            QCOMPARE(NBAddName(m_desktop->bob->station, 0, "PC2", 0x00, number), kNrcGoodRet);
            QCOMPARE(NBAddName(m_desktop->carol->station, 0, "PC3", 0x00, number), kNrcGoodRet);
            members = {{&m_desktop->bob->station, 0}, {&m_desktop->carol->station, 0}};
        }
        m_neighbourhood = std::make_unique<CvVirtualNeighbourhood>(members);
        m_scanner = std::make_unique<CvHostScanner>(*m_neighbourhood, withPeers ? "WG" : "");
        if (withPeers) {
            m_scanner->ScanOnce();
        }
    }

    // The window over an empty neighbourhood and the idle pinger: its own
    // search ends at once with nothing, so the test delivers the entries.
    CBrowseNetForm* OpenDriven() {
        MakeScanner(false);
        m_form = new CBrowseNetForm(*m_main, *m_idlePinger, *m_scanner, m_directory);
        m_form->show();
        if (!QTest::qWaitFor([this] { return !m_form->IsSearching(); }, kWait)) {
            return nullptr;
        }
        return m_form;
    }

    void Deliver(CvNetResourceInfo info) {
        m_form->OnFound(info);
        QCoreApplication::processEvents();
    }

    void Answer(const std::string& name, int32_t status, uint32_t requester = 0) {
        CvNetNamePingResult result;
        result.requester = requester != 0 ? requester : m_form->Requester();
        result.name = name;
        result.suffix = 0x03;
        result.status = status;
        m_form->OnPingResult(result);
        QCoreApplication::processEvents();
    }

    QTreeWidgetItem* Row(const QString& name) {
        for (QTreeWidgetItem* item : m_form->EntryRows()) {
            if (item->text(0) == name) {
                return item;
            }
        }
        return nullptr;
    }

    void SetFlag(int32_t id, bool on) { m_main->Settings().Set(id, CvPropertyValue::Integer(on)); }

    void Select(const QStringList& names) {
        m_form->List()->clearSelection();
        for (const QString& name : names) {
            Row(name)->setSelected(true);
        }
        m_form->List()->setCurrentItem(Row(names.front()), 0, QItemSelectionModel::NoUpdate);
    }

    void SetUp() override {
        m_idleNetwork = std::make_unique<CvNetbiosNetwork>(m_desktop->QueryProvider());
        m_idlePinger = std::make_unique<CvNetNamePinger>(*m_idleNetwork);
    }
    void TearDown() override {
        delete m_form.data();
        m_main.reset();
        m_scanner.reset();
        m_neighbourhood.reset();
        m_idlePinger.reset();
        m_idleNetwork.reset();
    }

private slots:
    void groupHeaders_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("header");
        const int byName = CBrowseNetForm::kGroupByName;
        const int byComment = CBrowseNetForm::kGroupByComment;
        QTest::newRow("lower case name") << S("alice") << S("") << byName << S("A");
        QTest::newRow("upper case name") << S("Arnold") << S("") << byName << S("A");
        QTest::newRow("cyrillic") << S("жора") << S("") << byName << S("Ж");
        QTest::newRow("beyond the BMP") << S("\U00010428x") << S("") << byName << S("\U00010400");
        QTest::newRow("comment") << S("X") << S("build box") << byComment << S("B");
        QTest::newRow("empty comment") << S("X") << S("") << byComment << S("-");
        QTest::newRow("domain empty")
            << S("X") << S("") << int(CBrowseNetForm::kGroupByDomain) << S("-");
    }
    void groupHeaders() {
        QFETCH(QString, name);
        QFETCH(QString, comment);
        QFETCH(int, mode);
        CBrowseNetForm::Entry entry;
        entry.name = name.toStdString();
        entry.comment = comment.toStdString();
        QTEST(CBrowseNetForm::GroupHeader(entry, mode), "header");
    }

    // Default mode by domain; a header click groups by name, where "a" and
    // "A" meet; the mode and the placement come back with the next window.
    void groupingFollowsTheHeaderAndIsRestored() {
        QVERIFY(Start());
        CBrowseNetForm* form = OpenDriven();
        QVERIFY(form != nullptr);
        QCOMPARE(form->windowTitle(), QString("Local network search"));
        QCOMPARE(form->size(), QSize(790, 527));
        QCOMPARE(form->StatusText(), QString("Search complete"));
        QCOMPARE(form->Grouping(), int(CBrowseNetForm::kGroupByDomain));
        Deliver(Resource(kNetResourceAccount, "alice", "WG", kNetResourceAvailable));
        Deliver(Resource(kNetResourceAccount, "Arnold", "", kNetResourceNoAnswer));
        Deliver(Resource(kNetResourceAccount, "bob", "WG", kNetResourceUnknown, 1));
        QCOMPARE(GroupHeaders(form->List()), (QStringList{"-", "WG"}));
        QCOMPARE(NamesUnder(form->List(), "WG"), (QStringList{"alice", "bob"}));
        QCOMPARE(NamesUnder(form->List(), "-"), QStringList{"Arnold"});
        // The cells of a row.
        QTreeWidgetItem* bob = Row("bob");
        QCOMPARE(bob->text(3), QString("WG"));
        QCOMPARE(bob->text(4), QString("Unknown"));
        QCOMPARE(bob->text(5), QString("Active Directory"));
        QCOMPARE(Row("Arnold")->text(4), QString("Offline"));
        QCOMPARE(Row("alice")->text(5), QString("Network neighbourhood"));

        QVERIFY(form->List()->header()->sectionsClickable());
        emit form->List()->header()->sectionClicked(0);
        QCOMPARE(form->Grouping(), int(CBrowseNetForm::kGroupByName));
        QCOMPARE(GroupHeaders(form->List()), (QStringList{"A", "B"}));
        QCOMPARE(NamesUnder(form->List(), "A"), (QStringList{"alice", "Arnold"}));
        emit form->List()->header()->sectionClicked(4);
        QCOMPARE(form->Grouping(), int(CBrowseNetForm::kGroupByState));
        QCOMPARE(NamesUnder(form->List(), "Available"), QStringList{"alice"});
        emit form->List()->header()->sectionClicked(1);
        QCOMPARE(form->Grouping(), int(CBrowseNetForm::kGroupByComment));
        QCOMPARE(GroupHeaders(form->List()), QStringList{"-"});

        form->move(40, 30);
        form->resize(600, 400);
        form->close();
        QTRY_VERIFY_WITH_TIMEOUT(m_form.isNull(), kWait);
        CBrowseNetForm* again = OpenDriven();
        QVERIFY(again != nullptr);
        QCOMPARE(again->Grouping(), int(CBrowseNetForm::kGroupByComment));
        QCOMPARE(again->size(), QSize(600, 400));
    }

    // Only probe results remove rows, and only with "Show available objects
    // only"; without it a probe changes the state.
    void probesChangeStatesAndRemoveOfflineRows() {
        QVERIFY(Start({"\"LanSrchStateOnline\"=dword:00000001"}));
        CBrowseNetForm* form = OpenDriven();
        QVERIFY(form != nullptr);
        Deliver(Resource(kNetResourceAccount, "GONE", "DOM", kNetResourceUnknown, 1));
        Deliver(Resource(kNetResourceAccount, "STAYS", "DOM", kNetResourceUnknown, 1));
        Deliver(Resource(kNetResourceAccount, "HERE", "DOM", kNetResourceUnknown, 1));
        Deliver(Resource(kNetResourceAccount, "PCOFF", "WG", kNetResourceNoAnswer));
        // Timer 1 probes every visible row in state "Unknown", once.
        QTRY_COMPARE_WITH_TIMEOUT(m_idlePinger->QueuedCount(), size_t{3}, kWait);
        QCOMPARE(Row("GONE")->text(4), QString("Retrieving..."));
        QCOMPARE(Row("PCOFF")->text(4), QString("Offline"));
        QTest::qWait(CBrowseNetForm::kStateTimerMs + 200);
        QCOMPARE(m_idlePinger->QueuedCount(), size_t{3});

        Answer("GONE", kPingStatusNoAnswer);
        QVERIFY(Row("GONE") == nullptr);
        QVERIFY(Row("PCOFF") != nullptr);  // offline by the search itself: stays
        Answer("HERE", kPingStatusAnswered);
        QCOMPARE(Row("HERE")->text(4), QString("Available"));

        // Effective at once: without the flag an offline probe only marks it.
        SetFlag(Id::kLanSrchStateOnline, false);
        Answer("STAYS", kPingStatusNoAnswer);
        QVERIFY(Row("STAYS") != nullptr);
        QCOMPARE(Row("STAYS")->text(4), QString("Offline"));
        Deliver(Resource(kNetResourceDomain, "DOM", "DOM", kNetResourceAvailable));
        Deliver(Resource(kNetResourceDomain, "QUIET", "DOM", kNetResourceNoAnswer));
        Deliver(Resource(kNetResourceAccount, "ASKED", "DOM", kNetResourceUnknown, 1));
        QTRY_COMPARE_WITH_TIMEOUT(Row("ASKED")->text(4), QString("Retrieving..."), kWait);
        form->grab().save(QString(qgetenv("CORVANE_SCREENSHOTS")) + "lanbrowser-states.png");
        QCOMPARE(form->EntryRows().size(), size_t{6});
    }

    void withoutStateCheckingNothingIsProbed() {
        QVERIFY(Start({"\"LanSrchCheckADState\"=dword:00000000"}));
        CBrowseNetForm* form = OpenDriven();
        QVERIFY(form != nullptr);
        Deliver(Resource(kNetResourceAccount, "DIRUSER", "DOM", kNetResourceUnknown, 1));
        QTest::qWait(2 * CBrowseNetForm::kStateTimerMs + 200);
        QCOMPARE(m_idlePinger->QueuedCount(), size_t{0});
        QCOMPARE(Row("DIRUSER")->text(4), QString("Unknown"));
        // Turned on, it probes from the next tick.
        SetFlag(Id::kLanSrchCheckADState, true);
        QTRY_COMPARE_WITH_TIMEOUT(m_idlePinger->QueuedCount(), size_t{1}, kWait);
    }

    // Results for rows that are gone, for a name probed once but answered
    // twice, or for an earlier search, change nothing.
    void lateProbeResultsAreIgnored() {
        QVERIFY(Start({"\"LanSrchStateOnline\"=dword:00000001"}));
        CBrowseNetForm* form = OpenDriven();
        QVERIFY(form != nullptr);
        Deliver(Resource(kNetResourceAccount, "TWIN", "DOM", kNetResourceUnknown, 1));
        Deliver(Resource(kNetResourceAccount, "TWIN", "DOM", kNetResourceUnknown, 1));
        QCOMPARE(form->EntryRows().size(), size_t{2});  // not merged
        QTRY_COMPARE_WITH_TIMEOUT(m_idlePinger->QueuedCount(), size_t{2}, kWait);
        Answer("TWIN", kPingStatusNoAnswer);
        Answer("TWIN", kPingStatusNoAnswer);
        QVERIFY(form->EntryRows().empty());
        Answer("TWIN", kPingStatusAnswered);
        QVERIFY(form->EntryRows().empty());

        // A new search: probes of the old list report under the old number.
        Deliver(Resource(kNetResourceAccount, "OLD", "DOM", kNetResourceUnknown, 1));
        QTRY_VERIFY_WITH_TIMEOUT(Row("OLD")->text(4) == "Retrieving...", kWait);
        const uint32_t oldRequester = form->Requester();
        form->Command(CBrowseNetForm::kCmdStartSearch);
        QTRY_COMPARE_WITH_TIMEOUT(form->StatusText(), QString("Search complete"), kWait);
        QVERIFY(form->Requester() != oldRequester);
        SetFlag(Id::kLanSrchCheckADState, false);
        Deliver(Resource(kNetResourceAccount, "OLD", "DOM", kNetResourceUnknown, 1));
        Answer("OLD", kPingStatusNoAnswer, oldRequester);
        Answer("OLD", kPingStatusAnswered);  // never probed in this list
        QCOMPARE(Row("OLD")->text(4), QString("Unknown"));
    }

    // One row opens the contact dialog, several the mass-add dialog; the
    // display name is the comment, else the name.
    void addToContactListByTheSelection() {
        QVERIFY(Start());
        CBrowseNetForm* form = OpenDriven();
        QVERIFY(form != nullptr);
        std::vector<std::vector<CvContact>> calls;
        form->addOneContact = [&calls](const CvContact& contact) { calls.push_back({contact}); };
        form->addSeveralContacts = [&calls](const std::vector<CvContact>& contacts) {
            calls.push_back(contacts);
            calls.back().push_back({});  // marks the mass-add path
        };
        Deliver(Resource(kNetResourceAccount, "PC9", "WG", kNetResourceAvailable, 0, "Build box"));
        Deliver(Resource(kNetResourceAccount, "DAVE", "WG", kNetResourceAvailable));
        Deliver(Resource(kNetResourceDomain, "WG", "WG", kNetResourceAvailable));

        struct Case {
            QStringList selected;
            std::vector<std::pair<std::string, int32_t>> expected;  // display name, kind
            bool several;
        };
        const Case cases[] = {
            {{"PC9"}, {{"Build box", kContactUser}}, false},
            {{"DAVE"}, {{"DAVE", kContactUser}}, false},
            {{"WG", "DAVE", "PC9"},
             {{"Build box", kContactUser}, {"DAVE", kContactUser}, {"WG", kContactWorkgroup}},
             true},
        };
        for (const Case& c : cases) {
            calls.clear();
            Select(c.selected);
            form->Command(CBrowseNetForm::kCmdAddToContacts);
            QCOMPARE(calls.size(), size_t{1});
            std::vector<CvContact> contacts = calls[0];
            QCOMPARE(contacts.size(), c.expected.size() + (c.several ? 1 : 0));
            for (size_t i = 0; i < c.expected.size(); ++i) {
                QCOMPARE(contacts[i].displayname, c.expected[i].first);
                QCOMPARE(contacts[i].conttype, c.expected[i].second);
            }
        }
        QCOMPARE(calls[0][0].name, std::string("PC9"));
        form->List()->clearSelection();
        calls.clear();
        form->Command(CBrowseNetForm::kCmdAddToContacts);
        QVERIFY(calls.empty());

        // While the contact list may not be edited the entry is greyed and
        // does nothing.
        QVERIFY(form->AddToContactsAction()->isEnabled());
        SetFlag(Id::kContactListDisableEdit, true);
        Select({"DAVE"});
        emit form->ContextMenu()->aboutToShow();
        QVERIFY(!form->AddToContactsAction()->isEnabled());
        form->Command(CBrowseNetForm::kCmdAddToContacts);
        QVERIFY(calls.empty());
        SetFlag(Id::kContactListDisableEdit, false);
        emit form->ContextMenu()->aboutToShow();
        QVERIFY(form->AddToContactsAction()->isEnabled());
    }

    // The Name column grows to the longest name (with its indent and
    // picture): no name is cut while the list has room.
    void longNamesAreNotCut() {
        QVERIFY(Start());
        CBrowseNetForm* form = OpenDriven();
        QVERIFY(form != nullptr);
        const int before = form->List()->columnWidth(0);
        Deliver(Resource(kNetResourceAccount, "SAMBAHOST", "WG", kNetResourceAvailable));
        Deliver(Resource(kNetResourceAccount, "WORKSTATION-015", "WORKGROUP-LONG1",
                         kNetResourceAvailable));
        QTreeWidget* list = form->List();
        QVERIFY(list->columnWidth(0) >= before);
        for (QTreeWidgetItem* item : form->EntryRows()) {
            // The Name, Computer and Domain cells give their text (the name
            // with its picture) all the room it asks for: nothing is elided.
            for (int column : {0, 2, 3}) {
                const QModelIndex index = list->indexFromItem(item, column);
                const int room = list->visualRect(index).width();
                const int wanted = list->sizeHintForIndex(index).width();
                QVERIFY2(wanted <= room,
                         qPrintable(item->text(column) +
                                    QString(": %1 px wanted in %2").arg(wanted).arg(room)));
            }
        }
        if (qEnvironmentVariableIsSet("CORVANE_SCREENSHOTS")) {
            form->grab().save(QString(qgetenv("CORVANE_SCREENSHOTS")) +
                              "lanbrowser-long-names.png");
        }
    }

    // "Start search" reads the neighbourhood afresh, so a station that came
    // up after the scanner's last pass is found; opening the window does so
    // when that pass is older than a few seconds.
    void aSearchReadsAFreshPass() {
        QVERIFY(Start({"\"LanSrchInAD\"=dword:00000000"}));
        uint8_t number = 0;
        QCOMPARE(NBAddName(m_desktop->bob->station, 0, "PC2", 0x00, number), kNrcGoodRet);
        m_neighbourhood =
            std::make_unique<CvVirtualNeighbourhood>(std::vector<CvVirtualNeighbourhood::Member>{
                {&m_desktop->bob->station, 0}, {&m_desktop->carol->station, 0}});
        m_scanner = std::make_unique<CvHostScanner>(*m_neighbourhood, "WG");
        m_scanner->SetPeriod(600000);  // no pass of its own during the test
        QVERIFY(m_scanner->Start());
        QTRY_COMPARE_WITH_TIMEOUT(m_scanner->PassCount(), uint64_t{1}, kWait);

        m_form = new CBrowseNetForm(*m_main, *m_main->Pinger(), *m_scanner, m_directory);
        m_form->show();
        QTRY_COMPARE_WITH_TIMEOUT(m_form->StatusText(), QString("Search complete"), kWait);
        QCOMPARE(m_scanner->PassCount(), uint64_t{1});  // the pass was fresh enough
        QVERIFY(Row("PC2") != nullptr);
        QVERIFY(Row("PC3") == nullptr);

        // CAROL's computer comes up: the next search finds it.
        QCOMPARE(NBAddName(m_desktop->carol->station, 0, "PC3", 0x00, number), kNrcGoodRet);
        m_form->StartAction()->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_form->StatusText(), QString("Search complete"), kWait);
        QCOMPARE(m_scanner->PassCount(), uint64_t{2});
        QVERIFY(Row("PC3") != nullptr);
        QVERIFY(Row("CAROL") != nullptr);

        m_form->close();
        QTRY_VERIFY_WITH_TIMEOUT(m_form.isNull(), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(
            m_scanner->Age() > std::chrono::milliseconds(CBrowseNetForm::kFreshPassAgeMs), kWait);
        m_form = new CBrowseNetForm(*m_main, *m_main->Pinger(), *m_scanner, m_directory);
        m_form->show();
        QTRY_COMPARE_WITH_TIMEOUT(m_form->StatusText(), QString("Search complete"), kWait);
        QCOMPARE(m_scanner->PassCount(), uint64_t{3});
        QVERIFY(Row("PC3") != nullptr);
    }

    // Write message to the selection (a workgroup by broadcast), on double
    // click too; the history of the focused row.
    void writeAndHistoryCommands() {
        QVERIFY(Start());
        CBrowseNetForm* form = OpenDriven();
        QVERIFY(form != nullptr);
        QCOMPARE(MenuTexts(form->ContextMenu()),
                 (QStringList{"Write message", "Add to contact list", "View contacts history"}));
        QCOMPARE(form->ContextMenu()->defaultAction()->text(), QString("Write message"));
        Deliver(Resource(kNetResourceAccount, "BOB", "WG", kNetResourceAvailable));
        Deliver(Resource(kNetResourceDomain, "WG", "WG", kNetResourceAvailable));
        Select({"BOB", "WG"});
        form->Command(CBrowseNetForm::kCmdWriteMessage);
        QCOMPARE(m_main->WriteWindows().size(), size_t{1});
        QCOMPARE(m_main->WriteWindows()[0]->Recipients(),
                 (std::vector<CvRecipient>{{kRecipientUser, "BOB"}, {kRecipientWorkgroup, "WG"}}));

        Select({"BOB"});
        form->Command(CBrowseNetForm::kCmdViewHistory);
        CHistoryForm* history = m_main->ArchiveWindow();
        QVERIFY(history != nullptr);
        QVERIFY(history->isVisible());
        QCOMPARE(history->CurrentView(), CHistoryForm::kMessages);
        QCOMPARE(history->Correspondent(), (CvRecipient{kRecipientUser, "BOB"}));

        emit form->List()->itemDoubleClicked(Row("WG"), 0);
        QCOMPARE(m_main->WriteWindows().size(), size_t{2});
    }

    // Ctrl+A selects every entry and Ctrl+C copies the selected rows as
    // shown, one a line, cells tab-separated; group rows are not copied.
    void ctrlCCopiesTheSelectedRows() {
        QVERIFY(Start());
        CBrowseNetForm* form = OpenDriven();
        QVERIFY(form != nullptr);
        Deliver(Resource(kNetResourceAccount, "BOB", "WG", kNetResourceAvailable, 0, "Bob's"));
        Deliver(Resource(kNetResourceDomain, "WG", "WG", kNetResourceNoAnswer));
        Deliver(Resource(kNetResourceAccount, "DAVE", "OTHER", kNetResourceAvailable));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        form->List()->setFocus();
        const QString bob = "BOB\tBob's\tBOB\tWG\tAvailable\tNetwork neighbourhood\n";
        const QString wg = "WG\t\t\tWG\tOffline\tNetwork neighbourhood\n";
        const QString dave = "DAVE\t\tDAVE\tOTHER\tAvailable\tNetwork neighbourhood\n";

        QGuiApplication::clipboard()->setText("before");
        Select({"WG", "BOB"});
        QTest::keyClick(form->List(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), bob + wg);

        QTest::keyClick(form->List(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(form->List()->selectedItems().size(), 3);
        QTest::keyClick(form->List(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), dave + bob + wg);

        // Nothing selected: the clipboard keeps what it held.
        form->List()->clearSelection();
        QTest::keyClick(form->List(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), dave + bob + wg);
    }

    void sendingAndArchiveDisabledTrimTheMenu() {
        QVERIFY(Start({"\"MsgSendDisabled\"=dword:00000001", "\"MsgArcDisabled\"=dword:00000001"}));
        CBrowseNetForm* form = OpenDriven();
        QVERIFY(form != nullptr);
        QCOMPARE(MenuTexts(form->ContextMenu()), QStringList{"Add to contact list"});
        Deliver(Resource(kNetResourceAccount, "BOB", "WG", kNetResourceAvailable));
        Select({"BOB"});
        emit form->List()->itemDoubleClicked(Row("BOB"), 0);
        form->Command(CBrowseNetForm::kCmdWriteMessage);
        form->Command(CBrowseNetForm::kCmdViewHistory);
        QVERIFY(m_main->WriteWindows().empty());
        QVERIFY(m_main->ArchiveWindow() == nullptr);
    }

    // A search of the virtual LAN: the workgroup, the peers' computers and
    // their users, each available.
    void aSearchFindsThePeersOnTheLan() {
        QVERIFY(Start({"\"LanSrchInAD\"=dword:00000000"}));
        MakeScanner(true);
        m_form = new CBrowseNetForm(*m_main, *m_main->Pinger(), *m_scanner, m_directory);
        CBrowseNetForm* form = m_form;
        form->show();
        QCOMPARE(form->StatusText(), QString("Searching..."));
        QVERIFY(!form->StartAction()->isEnabled());
        QVERIFY(!form->SettingsAction()->isEnabled());
        QVERIFY(form->StopAction()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(form->StatusText(), QString("Search complete"), kWait);
        QVERIFY(form->StartAction()->isEnabled());
        QVERIFY(!form->StopAction()->isEnabled());
        QCOMPARE(GroupHeaders(form->List()), QStringList{"WG"});
        QStringList names = NamesUnder(form->List(), "WG");
        names.sort();
        // This station too (PC1 with ALICE), which no scan of its own finds.
        QCOMPARE(names, (QStringList{"ALICE", "BOB", "CAROL", "PC1", "PC2", "PC3", "WG"}));
        QCOMPARE(Row("BOB")->text(2), QString("PC2"));
        QCOMPARE(Row("ALICE")->text(2), QString("PC1"));
        for (QTreeWidgetItem* item : form->EntryRows()) {
            QCOMPARE(item->text(4), QString("Available"));
            QCOMPARE(item->text(5), QString("Network neighbourhood"));
        }
        QCOMPARE(form->EntryOf(Row("WG"))->kind, int32_t{CBrowseNetForm::kKindDomain});
        QCOMPARE(form->EntryOf(Row("BOB"))->kind, int32_t{CBrowseNetForm::kKindAccount});
        form->List()->setCurrentItem(Row("BOB"));
        form->grab().save(QString(qgetenv("CORVANE_SCREENSHOTS")) + "lanbrowser-grouped.png");
        emit form->List()->header()->sectionClicked(0);
        form->grab().save(QString(qgetenv("CORVANE_SCREENSHOTS")) + "lanbrowser-by-name.png");
    }

    // A search whose pings never come back runs until stopped.
    void stopEndsTheSearch() {
        QVERIFY(Start({"\"LanSrchInAD\"=dword:00000000"}));
        MakeScanner(true);
        m_form = new CBrowseNetForm(*m_main, *m_idlePinger, *m_scanner, m_directory);
        CBrowseNetForm* form = m_form;
        QTRY_VERIFY_WITH_TIMEOUT(Row("WG") != nullptr, kWait);
        QTest::qWait(200);
        QVERIFY(form->IsSearching());
        QCOMPARE(form->StatusText(), QString("Searching..."));
        QVERIFY(form->StopAction()->isEnabled());
        form->StopAction()->trigger();
        QCOMPARE(form->StatusText(), QString("Search terminated"));
        QVERIFY(!form->IsSearching());
        QVERIFY(form->StartAction()->isEnabled());
        QVERIFY(!form->StopAction()->isEnabled());
        QVERIFY(Row("WG") != nullptr);  // what was found stays
        QTest::qWait(200);
        QCOMPARE(form->StatusText(), QString("Search terminated"));
    }

    // The popup shows the settings; OK writes and saves all seven.
    void settingsPopupWritesTheSevenSettings() {
        QVERIFY(Start({"\"LanSrchTypeUser\"=dword:00000000"}));
        CBrowseNetForm* form = OpenDriven();
        QVERIFY(form != nullptr);
        form->SettingsAction()->trigger();
        FormBrowseLanSetting* popup = form->SettingsPopup();
        QVERIFY(popup != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(popup->isVisible(), kWait);
        QVERIFY(popup->width() >= FormBrowseLanSetting::kWidth);
        QVERIFY(popup->height() >= FormBrowseLanSetting::kHeight);
        popup->grab().save(QString(qgetenv("CORVANE_SCREENSHOTS")) + "lanbrowser-settings.png");
        const int32_t ids[] = {Id::kLanSrchInNet,        Id::kLanSrchInAD,
                               Id::kLanSrchCheckADState, Id::kLanSrchTypeComp,
                               Id::kLanSrchTypeUser,     Id::kLanSrchTypeGroup,
                               Id::kLanSrchStateOnline};
        for (const int32_t id : ids) {
            QVERIFY(popup->Box(id) != nullptr);
            QCOMPARE(popup->Box(id)->isChecked(), m_main->Settings().Get(id).GetInt() != 0);
        }
        QVERIFY(!popup->Box(Id::kLanSrchTypeUser)->isChecked());
        for (const int32_t id : ids) {
            popup->Box(id)->toggle();
        }
        QTest::mouseClick(popup->OkButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(form->SettingsPopup() == nullptr, kWait);

        CvAppPropertyList stored;
        m_main->SettingsStore().Load(stored);
        for (const int32_t id : ids) {
            const int expected = id == Id::kLanSrchTypeUser || id == Id::kLanSrchStateOnline;
            QCOMPARE(m_main->Settings().Get(id).GetInt(), expected);
            QCOMPARE(stored.Get(id).GetInt(), expected);
        }
    }

    // Hot key 24 opens the one window; a closed one is replaced by a new one.
    void hotKeyOpensTheOneWindow() {
        QVERIFY(Start({"\"HotKeyEnabled\"=dword:00000001", "\"HotKeyBrowseLan\"=dword:0000064c"}));
        QVERIFY(m_desktop->hotKeys.IsGrabbed(CMainForm::kHotKeyBrowseLan));
        QVERIFY(m_main->LanBrowser() == nullptr);
        m_desktop->hotKeys.Press(CMainForm::kHotKeyBrowseLan);
        CBrowseNetForm* form = m_main->LanBrowser();
        QVERIFY(form != nullptr);
        QVERIFY(form->isVisible());
        m_desktop->hotKeys.Press(CMainForm::kHotKeyBrowseLan);
        QCOMPARE(m_main->LanBrowser(), form);
        QPointer<CBrowseNetForm> first = form;
        form->close();
        QVERIFY(m_main->LanBrowser() == nullptr);
        QVERIFY(m_main->OpenLanBrowser() != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), kWait);
        QVERIFY(m_main->LanBrowser() != nullptr);
        // Left open: the main window's shutdown closes it (cleanup).
    }
};

QTEST_MAIN(BrowseNetFormTest)
#include "CBrowseNetForm_test.moc"
