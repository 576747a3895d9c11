// The main window on a virtual LAN: received messages reach the popup list,
// the archive and the popup; the popup pages, replies, deletes and closes by
// the rules; the tray, hot keys and setting changes act at once.
#include <sqlite3.h>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QtTest>

#include <memory>
#include <thread>

#include "app/CvAppSettingsTable.h"
#include "app/CvHotKeyDispatcher.h"
#include "app/CvPropertyIterator.h"
#include "app/CvTrayIcon.h"
#include "app/CvTrayIconManager.h"
#include "messaging/CvStation.h"
#include "storage/CvDbText.h"
#include "storage/CvMsgArchive.h"
#include "support/MainFormTestCase.h"
#include "ui/CHistoryForm.h"
#include "ui/CMainForm.h"
#include "ui/CNewMsgForm.h"
#include "ui/CNoTrayForm.h"
#include "ui/CPopupMsgForm.h"
#include "widgets/CvButton.h"
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

    void withoutTrayTheProgramSaysSoOnce() {
        m_desktop->SetTrayAvailable(false);
        QVERIFY(Start());
        QVERIFY(m_main->NoTrayWindow() != nullptr);
        QVERIFY(m_main->NoTrayWindow()->isVisible());
        QVERIFY(m_main->NoTrayWindow()->Explanation().contains("no notification area"));
        Receive(From("BOB", "still here"));
        QTRY_VERIFY_WITH_TIMEOUT(Popup() != nullptr && Popup()->isVisible(), kWait);
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
    // thread runs: every one reaches the popup list and the archive.
    void burstOfTwoThousandIsKept() {
        QVERIFY(Start());
        constexpr int kThreads = 4;
        constexpr int kEach = 500;
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
        QTRY_COMPARE_WITH_TIMEOUT(m_main->PopupList().Count(), kThreads * kEach, kWait);
        // The popup opened at the newest message of the first batch and
        // stays there while the others arrive.
        QTRY_VERIFY_WITH_TIMEOUT(Popup() != nullptr && Popup()->Caption().endsWith(
                                                           QString("/%1)").arg(kThreads * kEach)),
                                 kWait);
        int archived = 0;
        for (int t = 0; t < kThreads; ++t) {
            archived += ArchivedWith(*m_main->Archive(), "PEER" + std::to_string(t));
        }
        QCOMPARE(archived, kThreads * kEach);
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
