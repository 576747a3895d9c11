// The main window on a virtual LAN: received messages reach the popup list,
// the archive and the popup; the popup pages, replies, deletes and closes by
// the rules; the tray, hot keys and setting changes act at once.
#include <sqlite3.h>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>
#include <thread>

#include "app/CvAppSettingsTable.h"
#include "app/CvHotKeyDispatcher.h"
#include "app/CvPropertyIterator.h"
#include "app/CvTrayIcon.h"
#include "app/CvTrayIconManager.h"
#include "messaging/CvStation.h"
#include "storage/CvContactsManager.h"
#include "storage/CvDbText.h"
#include "storage/CvMsgArchive.h"
#include "support/MainFormTestCase.h"
#include "support/TestContact.h"
#include "ui/CBrowseNetForm.h"
#include "ui/CContactsForm.h"
#include "ui/CHistoryForm.h"
#include "ui/CMainForm.h"
#include "ui/CNewMsgForm.h"
#include "ui/CNoTrayForm.h"
#include "ui/CPopupMsgForm.h"
#include "widgets/CvButton.h"
#include "widgets/CvCtrlList.h"
#include "widgets/CvListEdit.h"
#include "widgets/CvRichEdit.h"
#include "widgets/CvStaticLink.h"

namespace Id = CvSettingId;

namespace {

constexpr int kWait = 10000;

CMsg From(const std::string& sender, const std::string& text, int32_t type = MsgPersonal,
          const std::string& to = "ALICE") {
    CMsg msg;
    msg.type = type;
    msg.sender = sender;
    msg.recipient = to;
    msg.address = to;
    msg.text = text;
    return msg;
}

// Changes settings the way the options dialog does.
class Changes : public CvPropertyIterator {
public:
    Changes(std::vector<std::pair<int32_t, CvPropertyValue>> pairs) : m_pairs(std::move(pairs)) {}
    void Rewind() override { m_next = 0; }
    bool Next(int32_t& id, CvPropertyValue& value) override {
        if (m_next >= m_pairs.size()) {
            return false;
        }
        id = m_pairs[m_next].first;
        value = m_pairs[m_next].second;
        ++m_next;
        return true;
    }

private:
    std::vector<std::pair<int32_t, CvPropertyValue>> m_pairs;
    size_t m_next = 0;
};

int ArchivedWith(CvMsgArchive& archive, const std::string& partner) {
    archive.SetPartner(partner);
    return archive.Conversation().GetLastIndex() + 1;
}

// Rows of the archive file with this text, read through a connection of the
// test's own (the program may have closed its archive).
int RowsInFile(const std::string& path, const std::string& text) {
    sqlite3* db = nullptr;
    int rows = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*) FROM messages WHERE message = ?", -1, &statement,
                           nullptr);
        sqlite3_bind_text(statement, 1, text.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(statement) == SQLITE_ROW) {
            rows = sqlite3_column_int(statement, 0);
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return rows;
}

}  // namespace

class MainFormTest : public MainFormTestCase {
    Q_OBJECT

private:
    // From BOB's or CAROL's station, by the sender, which signs with its name;
    // returns once the main window has shown the message.
    void Receive(const CMsg& msg) {
        int notified = 0;
        QMetaObject::Connection connection =
            connect(m_main.get(), &CMainForm::messagesArrived, this, [&notified] { ++notified; });
        (msg.sender == "CAROL" ? m_desktop->carol : m_desktop->bob)->client.Send(msg);
        QTRY_VERIFY_WITH_TIMEOUT(notified > 0, kWait);
        disconnect(connection);
    }
    CPopupMsgForm* Popup() { return m_main->Popup(); }
    QString PopupText() { return QString::fromStdString(Popup()->TextArea()->MessageText()); }
    CvStaticLink* Button(const QString& text) {
        for (CvStaticLink* link : Popup()->ToolbarButtons()) {
            if (link->Text() == text) {
                return link;
            }
        }
        return nullptr;
    }
    void ClickButton(const QString& text) {
        CvStaticLink* link = Button(text);
        QVERIFY2(link != nullptr, qPrintable(text));
        QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());
    }
    // The texts of the popup list's rows, first to last (moves its row).
    QStringList PopupRows() {
        CvPopupList& list = m_main->PopupList();
        while (list.Previous()) {
        }
        QStringList rows;
        for (int i = 0; i < list.Count(); ++i, list.Next()) {
            rows << QString::fromStdString(list.CurrentMessage());
        }
        return rows;
    }
    QAction* MoreMenuEntry(const QString& text) {
        for (QAction* action : m_main->MoreMenu()->actions()) {
            if (action->text() == text) {
                return action;
            }
        }
        return nullptr;
    }
    std::string ArchivePath() { return CvDbText::ToUtf8(m_main->Archive()->Database().GetPath()); }

private slots:
    void receivedMessagesReachPopupArchiveAndTray() {
        QVERIFY(Start({"\"SoundEnabled\"=dword:00000001", "\"RecvMsgSoundNotify\"=dword:00000001",
                       "\"SoundEventIncMsgPriv\"=\"/sounds/personal.wav\"",
                       "\"SoundEventIncMsgBcast\"=\"/sounds/broadcast.wav\""}));
        Receive(From("BOB", "Hello Alice, see http://example.com/x"));
        QTRY_VERIFY_WITH_TIMEOUT(Popup() != nullptr && Popup()->isVisible(), kWait);
        QCOMPARE(Popup()->Caption(), QString("Messages received (1/1)"));
        QVERIFY(PopupText().contains("BOB wrote to ALICE:"));
        QVERIFY(PopupText().endsWith("Hello Alice, see http://example.com/x"));
        QCOMPARE(Popup()->TextArea()->LinkUrls().size(), 1);
        QVERIFY(m_main->Tray()->Icon().IsBlinking());
        QCOMPARE(m_desktop->sounds.Played(), std::vector<std::string>{"/sounds/personal.wav"});
        QCOMPARE(ArchivedWith(*m_main->Archive(), "BOB"), 1);

        Receive(From("CAROL", "to everyone", MsgBroadcast, "WG"));
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->sounds.Played().size(), size_t{2}, kWait);
        QCOMPARE(m_desktop->sounds.Played()[1], std::string("/sounds/broadcast.wav"));
        m_main->Tray()->Update();
        QVERIFY(m_main->Tray()->LastTip().find("2 message(s) / 2 unread") != std::string::npos);
    }

    void popupPagesRepliesAndDeletes() {
        QVERIFY(Start());
        for (const char* text : {"first", "second", "third"}) {
            Receive(From("BOB", text));
        }
        // The open popup stays at the message being read; the count grows.
        QCOMPARE(Popup()->Caption(), QString("Messages received (1/3)"));
        QVERIFY(PopupText().endsWith("first"));
        ClickButton(">");
        ClickButton(">");
        ClickButton(">");  // at the last row already
        QCOMPARE(Popup()->Caption(), QString("Messages received (3/3)"));
        ClickButton("<");
        QCOMPARE(Popup()->Caption(), QString("Messages received (2/3)"));
        QVERIFY(PopupText().endsWith("second"));

        m_main->Command(CMainForm::kCmdCopy);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("second"));
        m_main->Command(CMainForm::kCmdDelete);
        QCOMPARE(Popup()->Caption(), QString("Messages received (2/2)"));
        QVERIFY(PopupText().endsWith("third"));
        m_main->Command(CMainForm::kCmdDelete);  // the last row: the one before shows
        QCOMPARE(Popup()->Caption(), QString("Messages received (1/1)"));
        QVERIFY(PopupText().endsWith("first"));

        ClickButton("Reply");
        auto windows = m_main->WriteWindows();
        QCOMPARE(windows.size(), size_t{1});
        QCOMPARE(windows[0]->Recipients(), (std::vector<CvRecipient>{{kRecipientUser, "BOB"}}));
    }

    void closeRequestKeepsUnreadMessages() {
        QVERIFY(Start({"\"PopupMsgWndKeepUntilRead\"=dword:00000001",
                       "\"PopupMsgWndOpenAtNewest\"=dword:00000000"}));
        Receive(From("BOB", "one"));
        Receive(From("BOB", "two"));
        QTRY_VERIFY_WITH_TIMEOUT(Popup() != nullptr && Popup()->isVisible(), kWait);
        QVERIFY(PopupText().endsWith("one"));
        ClickButton(">");  // "one" is read now, "two" is not
        CvButton* close = Popup()->CloseButton();
        QTest::mouseClick(close, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(Popup()->isVisible());
        QCOMPARE(Popup()->Caption(), QString("Messages received (1/1)"));
        QVERIFY(PopupText().endsWith("two"));
        QVERIFY(!m_main->PopupAutoCloseRequest());
        ClickButton("<");  // marks "two" read
        QTest::mouseClick(close, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!Popup()->isVisible());
        // Read messages are removed once the popup is hidden.
        QCOMPARE(m_main->PopupList().Count(), 0);
    }

    void autoCloseRunsOnlyWhileInactive() {
        QVERIFY(Start({"\"RecvMsgPopWndDeadline\"=dword:00000001"}));
        // The user works in another window; the offscreen platform activates
        // every window it shows, so that window is activated again.
        QWidget other;
        other.show();
        auto activateOther = [&other] {
            other.activateWindow();
            return QTest::qWaitForWindowActive(&other);
        };
        Receive(From("BOB", "short-lived"));
        QVERIFY(Popup()->isVisible());
        QVERIFY(activateOther());
        QTRY_VERIFY_WITH_TIMEOUT(!Popup()->isVisible(), 4000);

        Receive(From("BOB", "read me"));
        QVERIFY(Popup()->isVisible());
        Popup()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Popup()));
        QTest::qWait(2500);
        QVERIFY2(Popup()->isVisible(), "an active popup never closes itself");
        QVERIFY(activateOther());
        QTRY_VERIFY_WITH_TIMEOUT(!Popup()->isVisible(), 4000);
    }

    void trayClicksHoverAndMenu() {
        // TrayLeftMouseBtn 3: the left click shows the popup.
        QVERIFY(
            Start({"\"RecvMsgMainAct\"=dword:00000003", "\"TrayLeftMouseBtn\"=dword:00000003"}));
        QVERIFY(m_desktop->tray.Present());
        Receive(From("BOB", "quiet"));
        QTRY_VERIFY_WITH_TIMEOUT(m_main->Tray()->Icon().IsBlinking(), kWait);
        QVERIFY2(Popup() == nullptr, "RecvMsgMainAct 3 shows nothing");
        m_desktop->tray.Click(CvTrayIcon::kLeftButtonDown);
        QVERIFY(Popup() != nullptr && Popup()->isVisible());
        QVERIFY(PopupText().endsWith("quiet"));
        Popup()->hide();
        // The cursor resting on the icon shows the waiting message again.
        m_desktop->tray.SetCursorOverIcon(true);
        for (int i = 0; i < 4; ++i) {
            m_desktop->tray.Tick(CvTrayIcon::kHoverTimer);
        }
        QVERIFY(Popup()->isVisible());
        m_desktop->tray.SetCursorOverIcon(false);
        Popup()->hide();
        m_desktop->tray.Click(CvTrayIcon::kRightButtonUp);
        QVERIFY(m_main->TrayMenu()->isVisible());
        QStringList entries;
        for (QAction* action : m_main->TrayMenu()->actions()) {
            if (!action->isSeparator()) {
                entries << action->text();
            }
        }
        QCOMPARE(entries, (QStringList{"Write message...", "Read messages...", "Change options...",
                                       "About", "Exit Corvane"}));
        m_main->TrayMenu()->hide();
    }

    // The archive window answers the tray click when TrayLeftMouseBtn is 2,
    // hot key 23, and "Read messages..."; it exists once.
    void theArchiveOpensFromTheTrayClickAndItsHotKey() {
        QVERIFY(Start({"\"TrayLeftMouseBtn\"=dword:00000002", "\"HotKeyEnabled\"=dword:00000001",
                       "\"HotKeyOpenIncoming\"=dword:00000649"}));
        m_desktop->tray.Click(CvTrayIcon::kLeftButtonDown);
        QVERIFY(m_main->ArchiveWindow() != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(m_main->ArchiveWindow()->isVisible(), kWait);
        QVERIFY(Popup() == nullptr || !Popup()->isVisible());
        CHistoryForm* window = m_main->ArchiveWindow();
        window->hide();
        m_desktop->hotKeys.Press(CMainForm::kHotKeyOpenIncoming);
        QVERIFY(window->isVisible());
        QCOMPARE(m_main->ArchiveWindow(), window);
    }

    void hotKeysAndTheirSettings() {
        // Ctrl+Alt+W writes, Ctrl+Alt+R replies.
        QVERIFY(Start({"\"HotKeyEnabled\"=dword:00000001", "\"HotKeyWriteNewMsg\"=dword:00000657",
                       "\"HotKeyReplyLastMsg\"=dword:00000652"}));
        QCOMPARE(m_desktop->hotKeys.VirtualKey(CMainForm::kHotKeyWriteNewMsg), uint8_t{0x57});
        m_desktop->hotKeys.Press(CMainForm::kHotKeyReplyLastMsg);
        QVERIFY2(m_main->WriteWindows().empty(), "nobody to reply to yet");
        Receive(From("CAROL", "ping"));
        m_desktop->hotKeys.Press(CMainForm::kHotKeyReplyLastMsg);
        QCOMPARE(m_main->WriteWindows().size(), size_t{1});
        QCOMPARE(m_main->WriteWindows()[0]->Recipients()[0].name, std::string("CAROL"));
        m_desktop->hotKeys.Press(CMainForm::kHotKeyWriteNewMsg);
        QCOMPARE(m_main->WriteWindows().size(), size_t{2});

        // A changed key takes effect at once; disabling releases every key.
        Changes changes({{Id::kHotKeyWriteNewMsg, CvPropertyValue::Integer(0x64D)}});
        m_main->Settings().ApplyChanges(changes);
        QCOMPARE(m_desktop->hotKeys.VirtualKey(CMainForm::kHotKeyWriteNewMsg), uint8_t{0x4D});
        Changes off({{Id::kHotKeyEnabled, CvPropertyValue::Integer(0)}});
        m_main->Settings().ApplyChanges(off);
        QVERIFY(!m_desktop->hotKeys.IsGrabbed(CMainForm::kHotKeyWriteNewMsg));
        QVERIFY(!m_desktop->hotKeys.IsGrabbed(CMainForm::kHotKeyReplyLastMsg));
    }

    void enlargedBroadcastsTakeEffectAtOnce() {
        QVERIFY(Start({"\"MessagesLargeBcastEnabled\"=dword:00000000"}));
        const std::string text(300, 'x');
        Changes changes({{Id::kMessagesLargeBcastEnabled, CvPropertyValue::Integer(1)}});
        m_main->Settings().ApplyChanges(changes);
        CNewMsgForm* form = m_main->OpenWriteMessage({{kRecipientWorkgroup, "WG"}});
        form->TextField()->setPlainText(QString::fromStdString(text));
        form->Send();
        QVERIFY(m_desktop->bob->inbox.WaitFor(1));
        QTest::qWait(300);
        const auto received = m_desktop->bob->inbox.Messages();
        QCOMPARE(received.size(), size_t{1});
        QCOMPARE(received[0].text, text);
    }

    void errorPopupAndMessage0x432() {
        QVERIFY(Start());
        m_main->PostMessage(CMainForm::kMsgShowError, 0, 0, "Disk full");
        QTRY_VERIFY_WITH_TIMEOUT(
            m_main->ErrorPopup() != nullptr && m_main->ErrorPopup()->isVisible(), kWait);
        QCOMPARE(m_main->ErrorPopup()->Caption(), QString("Error"));
        const QString text =
            QString::fromStdString(m_main->ErrorPopup()->TextArea()->MessageText());
        QVERIFY(text.endsWith("\r\n\r\nDisk full"));
        QVERIFY(m_main->ErrorPopup()->ToolbarButtons().empty());
        QCOMPARE(m_main->ErrorPopup()->AutoCloseDelay(), 20);
    }

    // Without a notification area a window says so and offers what the tray
    // icon would: every entry of its menu, the contact list its click opens
    // and the LAN search. Closing it keeps it in the task list.
    void withoutTrayAWindowOffersWhatTheTrayWould() {
        m_desktop->SetTrayAvailable(false);
        QVERIFY(Start());
        CNoTrayForm* window = m_main->NoTrayWindow();
        QVERIFY(window != nullptr);
        QVERIFY(window->isVisible());
        QVERIFY(window->Explanation().contains("no notification area"));
        QStringList texts;
        for (QPushButton* button : window->Buttons()) {
            texts << button->text();
        }
        QCOMPARE(texts, (QStringList{"Write message...", "Read messages...", "Contact list...",
                                     "Find users in network", "Change options...", "About",
                                     "Exit Corvane"}));
        Receive(From("BOB", "still here"));
        QTRY_VERIFY_WITH_TIMEOUT(Popup() != nullptr && Popup()->isVisible(), kWait);

        window->Buttons()[1]->click();
        QVERIFY(m_main->ArchiveWindow() != nullptr && m_main->ArchiveWindow()->isVisible());
        window->Buttons()[2]->click();
        QVERIFY(m_main->ContactList()->isVisible());
        window->Buttons()[3]->click();
        QVERIFY(m_main->LanBrowser() != nullptr && m_main->LanBrowser()->isVisible());
        window->close();
        QCOMPARE(m_main->NoTrayWindow(), window);
        QVERIFY(window->isMinimized());
        window->Buttons()[6]->click();
        QVERIFY(m_main->IsClosed());
        QTRY_VERIFY_WITH_TIMEOUT(m_main->NoTrayWindow() == nullptr, kWait);
    }

    // Another program (corvane history, an export) holds the archive's lock
    // while a message arrives: the message is shown at once and filed once
    // the lock goes, without another message to carry it.
    void aMessageTheLockedArchiveRefusedIsFiledLater() {
        QVERIFY(Start());
        const std::string path = CvDbText::ToUtf8(m_main->Archive()->Database().GetPath());
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(path.c_str(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        Receive(From("BOB", "while the archive is locked"));
        QTRY_VERIFY_WITH_TIMEOUT(Popup() != nullptr && Popup()->isVisible(), kWait);
        QCOMPARE(ArchivedWith(*m_main->Archive(), "BOB"), 0);
        QCOMPARE(sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        QTRY_COMPARE_WITH_TIMEOUT(ArchivedWith(*m_main->Archive(), "BOB"), 1, kWait);
    }

    void archiveDisabledStillShowsMessages() {
        QVERIFY(Start({"\"MsgArcDisabled\"=dword:00000001"}));
        QVERIFY(m_main->Archive() == nullptr);
        Receive(From("BOB", "not filed"));
        QTRY_VERIFY_WITH_TIMEOUT(Popup() != nullptr && Popup()->isVisible(), kWait);
    }

    // Messages arrive on several transport threads faster than the window
    // thread runs: every one is archived and counted. The popup list keeps
    // its first kMaxRows rows and says how many more the archive holds; the
    // tray counts all; opening the archive window, where they are, ends the
    // note.
    void burstBeyondTheBoundIsArchivedCountedAndSaidSo() {
        QVERIFY(Start());
        constexpr int kThreads = 4;
        constexpr int kEach = 500;
        constexpr int kRows = CvPopupList::kMaxRows;
        static_assert(kThreads * kEach > kRows);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([this, t] {
                for (int i = 0; i < kEach; ++i) {
                    CMsg msg = From("PEER" + std::to_string(t), "burst " + std::to_string(i));
                    m_main->ReceivedBinding()(msg);
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_main->PopupList().HeldBack(), kThreads * kEach - kRows, kWait);
        QCOMPARE(m_main->PopupList().Count(), kRows);
        // The popup opened at the newest message of the first batch and
        // stays there while the others arrive.
        QTRY_VERIFY_WITH_TIMEOUT(
            Popup() != nullptr && Popup()->Caption().endsWith(QString("/%1)").arg(kRows)), kWait);
        // The popup is filled again once the last batch was announced.
        QTRY_VERIFY2_WITH_TIMEOUT(
            PopupText().startsWith(
                QString("%1 more message(s) are not listed here").arg(kThreads * kEach - kRows)),
            qPrintable(PopupText()), kWait);
        m_main->Tray()->Update();
        QVERIFY2(m_main->Tray()->LastTip().find(std::to_string(kThreads * kEach) + " message(s)") !=
                     std::string::npos,
                 m_main->Tray()->LastTip().c_str());
        int archived = 0;
        for (int t = 0; t < kThreads; ++t) {
            archived += ArchivedWith(*m_main->Archive(), "PEER" + std::to_string(t));
        }
        QCOMPARE(archived, kThreads * kEach);

        m_main->Command(CMainForm::kCmdReadMessages);
        QCOMPARE(m_main->PopupList().HeldBack(), 0);
        QVERIFY(!PopupText().contains("not listed here"));
    }

    // The end comes right after a message arrived, before the window thread
    // drained it: it is filed all the same (its sender was told it arrived).
    void exitFilesWhatArrivedBeforeIt() {
        QVERIFY(Start());
        const std::string path = ArchivePath();
        CMsg msg = From("BOB", "just before the end");
        m_main->ReceivedBinding()(msg);
        m_main->Command(CMainForm::kCmdExit);
        QVERIFY(m_main->IsClosed());
        QCOMPARE(RowsInFile(path, "just before the end"), 1);
    }

    // A write window closed while its send is under way withdraws only what
    // has not started: the message goes out and is filed as sent.
    void aSendUnderWayWhenItsWindowClosesIsFiled() {
        m_desktop->SetSendTimeout(10000);
        QVERIFY(Start());
        m_desktop->bob->inbox.Hold();
        QPointer<CNewMsgForm> form = m_main->OpenWriteMessage({{kRecipientUser, "BOB"}});
        form->TextField()->setPlainText("closed while sending");
        form->Send();
        QVERIFY(m_desktop->bob->inbox.WaitHeld());
        form->close();
        QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), kWait);
        m_desktop->bob->inbox.Release();
        QVERIFY(m_desktop->bob->inbox.WaitFor(1));
        QTRY_COMPARE_WITH_TIMEOUT(RowsInFile(ArchivePath(), "closed while sending"), 1, kWait);
    }

    // SIGTERM, SIGHUP or the end of the session (all post 0x10) while a
    // window's modal dialog runs its own event loop: the dialog ends as
    // Cancel, and the program shuts down once the loop has returned, so
    // nothing is deleted under the dialog or its owner (AddressSanitizer
    // would see it) and nothing the dialog asked about is done.
    void aCloseDuringAModalDialogWaitsUntilItReturns_data() {
        QTest::addColumn<int>("dialog");
        QTest::newRow("Clear archive?") << 0;
        QTest::newRow("export") << 1;
        QTest::newRow("delete a contact") << 2;
    }
    void aCloseDuringAModalDialogWaitsUntilItReturns() {
        QFETCH(int, dialog);
        QVERIFY(Start());
        Receive(From("BOB", "kept"));
        const std::string path = ArchivePath();
        bool closePosted = false;
        std::function<void()> closeOnceModal;
        QObject timers;  // goes first: no timer outlives the function it calls
        closeOnceModal = [&] {
            if (QApplication::activeModalWidget() != nullptr) {
                closePosted = true;
                m_main->PostMessage(CMainForm::kMsgClose);
            } else {
                QTimer::singleShot(20, &timers, closeOnceModal);
            }
        };
        QTimer::singleShot(0, &timers, closeOnceModal);
        if (dialog == 2) {
            m_main->Contacts()->SaveContact(TestContact(kContactUser, "BOB", "Bob", "Friends"));
            CContactsForm* contacts = m_main->ContactList();
            CvCtrlList* list = contacts->ContactsList();
            for (int row = 0; row < list->RowCount(); ++row) {
                if (list->RowText(row) == "Bob") {
                    list->SetCurrentRow(row);
                }
            }
            contacts->Command(CContactsForm::kCmdDelete);
        } else {
            m_main->OpenArchive(0)->Command(dialog == 0 ? CHistoryForm::kCmdClear
                                                        : CHistoryForm::kCmdExport);
        }
        QVERIFY(closePosted);
        QTRY_VERIFY_WITH_TIMEOUT(m_main->IsClosed(), kWait);
        QVERIFY(m_main->ArchiveWindow() == nullptr);
        QCOMPARE(RowsInFile(path, "kept"), 1);
    }

    // A failed archive open is said in an error popup (again on "Read
    // messages...", which has no window to open); messages still arrive
    // and pop up.
    void anArchiveThatCannotBeOpenedIsReported() {
        const std::string file = m_desktop->Folder() + "/no such folder/messages";
        QVERIFY(Start({"\"MsgArcUseDatabaseFile\"=dword:00000001",
                       "\"MsgArcDatabaseFile\"=\"" + file + "\""}));
        QVERIFY(m_main->Archive() == nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(
            m_main->ErrorPopup() != nullptr && m_main->ErrorPopup()->isVisible(), kWait);
        const QString text =
            QString::fromStdString(m_main->ErrorPopup()->TextArea()->MessageText());
        QVERIFY2(
            text.contains("The message archive cannot be opened (" + QString::fromStdString(file)),
            qPrintable(text));
        Receive(From("BOB", "not filed, still shown"));
        QTRY_VERIFY_WITH_TIMEOUT(Popup() != nullptr && Popup()->isVisible(), kWait);
        QVERIFY(PopupText().endsWith("not filed, still shown"));
        m_main->ErrorPopup()->hide();
        m_main->Command(CMainForm::kCmdReadMessages);
        QVERIFY(m_main->ArchiveWindow() == nullptr);
        QVERIFY(m_main->ErrorPopup()->isVisible());
    }

    // "More..." acts on the message it was opened on: the popup does not
    // close itself under the menu, and a message arriving meanwhile (which
    // takes the popup back to the first row, as PopupMsgWndOpenAtNewest 0
    // says) does not change what "Delete" deletes.
    void moreActsOnTheMessageItWasOpenedOn() {
        QVERIFY(Start({"\"PopupMsgWndOpenAtNewest\"=dword:00000000",
                       "\"RecvMsgPopWndAutoclose\"=dword:00000000"}));
        Receive(From("BOB", "one"));
        Receive(From("BOB", "two"));
        ClickButton(">");
        QVERIFY(PopupText().endsWith("two"));
        ClickButton("More...");
        QTRY_VERIFY_WITH_TIMEOUT(m_main->MoreMenu()->isVisible(), kWait);
        QVERIFY2(!Popup()->MayAutoClose(), "the popup closes under the open menu");
        Receive(From("CAROL", "three"));
        QVERIFY(PopupText().endsWith("one"));
        QAction* remove = MoreMenuEntry("Delete");
        QVERIFY(remove != nullptr);
        m_main->MoreMenu()->hide();  // as a click on the entry does, before it runs
        remove->trigger();
        QCOMPARE(PopupRows(), (QStringList{"one", "three"}));
        QVERIFY(Popup()->MayAutoClose());
    }

    // A popup without its caption (so without the close button) and without
    // closing itself closes with Escape and with a "Close" toolbar entry.
    void aPopupWithoutCaptionCanBeClosed() {
        QVERIFY(Start({"\"PopupMsgWndCaptionDisabled\"=dword:00000001",
                       "\"RecvMsgPopWndAutoclose\"=dword:00000000"}));
        Receive(From("BOB", "close me"));
        QVERIFY(Popup()->isVisible());
        QVERIFY(Popup()->CloseButton() == nullptr);
        Popup()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Popup()));
        QTest::keyClick(Popup(), Qt::Key_Escape);
        QVERIFY(!Popup()->isVisible());
        Receive(From("BOB", "and me"));
        QVERIFY(Popup()->isVisible());
        ClickButton("Close");
        QVERIFY(!Popup()->isVisible());
    }

    // Whether and when the popup closes itself, changed while it is shown,
    // applies to it at once.
    void closingSettingsApplyToThePopupShown() {
        QVERIFY(Start({"\"RecvMsgPopWndAutoclose\"=dword:00000001",
                       "\"RecvMsgPopWndDeadline\"=dword:00000014"}));
        Receive(From("BOB", "on screen"));
        QCOMPARE(Popup()->AutoCloseDelay(), 20);
        Changes off({{Id::kRecvMsgPopWndAutoclose, CvPropertyValue::Integer(0)}});
        m_main->Settings().ApplyChanges(off);
        QCOMPARE(Popup()->AutoCloseDelay(), 0);
        Changes on({{Id::kRecvMsgPopWndAutoclose, CvPropertyValue::Integer(1)},
                    {Id::kRecvMsgPopWndDeadline, CvPropertyValue::Integer(7)}});
        m_main->Settings().ApplyChanges(on);
        QCOMPARE(Popup()->AutoCloseDelay(), 7);
    }

    void exitClosesEverything() {
        QVERIFY(Start());
        m_main->OpenWriteMessage({});
        Receive(From("BOB", "bye"));
        QTRY_VERIFY_WITH_TIMEOUT(Popup() != nullptr, kWait);
        m_main->Command(CMainForm::kCmdExit);
        QVERIFY(m_main->IsClosed());
        QVERIFY(!m_main->Station()->IsRunning());
        QVERIFY(!m_desktop->tray.Present());
        QVERIFY(m_main->WriteWindows().empty());
        QVERIFY(Popup() == nullptr);
    }
};

QTEST_MAIN(MainFormTest)
#include "CMainForm_test.moc"
