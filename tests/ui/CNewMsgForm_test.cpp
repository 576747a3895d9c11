// The write-message window over the main window on a virtual LAN: limits and
// the length question, contact groups, per-recipient failures, reuse of an
// empty window, and withdrawal when it closes during a send.
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "app/CvAppSettingsTable.h"
#include "messaging/CvStation.h"
#include "messaging/SendResultCode.h"
#include "platform/CvEvent.h"
#include "storage/CvContactsManager.h"
#include "storage/CvMsgArchive.h"
#include "support/MainFormTestCase.h"
#include "ui/CContactsForm.h"
#include "ui/CMainForm.h"
#include "ui/CNewMsgForm.h"
#include "ui/CPopupMsgForm.h"
#include "ui/FormAddrAutocomp.h"
#include "widgets/CvListEdit.h"
#include "widgets/CvRichEdit.h"

namespace {

constexpr int kWait = 10000;

// Blocks the outbox's send thread in its result until released.
class BlockingReceiver : public CvUnaryFunction<void, CvMsgOutboxSendResult&> {
public:
    void Invoke(CvMsgOutboxSendResult&) override {
        entered.Set();
        release.Wait(5000);
    }
    CvEvent entered{true, false};
    CvEvent release{true, false};
};

}  // namespace

class NewMsgFormTest : public MainFormTestCase {
    Q_OBJECT

private:
    QString m_boxText;

    // Answers the next message box with `button`, keeping its text.
    void AnswerNextBox(QMessageBox::StandardButton button) {
        m_boxText.clear();
        QTimer::singleShot(50, this, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                AnswerNextBox(button);
                return;
            }
            m_boxText = box->text();
            box->button(button)->click();
        });
    }
    CNewMsgForm* Write(const std::vector<CvRecipient>& to, const std::string& text) {
        CNewMsgForm* form = m_main->OpenWriteMessage(to);
        form->TextField()->setPlainText(QString::fromStdString(text));
        return form;
    }
    std::vector<std::string> Texts(VirtualLanStation& station) {
        std::vector<std::string> texts;
        for (const CMsg& msg : station.inbox.Messages()) {
            texts.push_back(msg.text);
        }
        return texts;
    }
    // Sends a marker to `name` at `station` through the main window's outbox,
    // which sends in queue order, and waits until it arrives: what the
    // station got from the window by then is all it will ever get. Returns
    // those texts, without the marker.
    std::vector<std::string> TextsBeforeMarker(VirtualLanStation& station,
                                               const std::string& name) {
        CMsg marker;
        marker.type = MsgPersonal;
        marker.sender = "ALICE";
        marker.recipient = marker.address = name;
        marker.text = "marker " + std::to_string(++m_markers);
        if (!m_main->Station()->Enqueue(marker, nullptr, 900000 + m_markers)) {
            return {"(the marker was not queued)"};
        }
        std::vector<std::string> texts;
        const bool arrived = QTest::qWaitFor(
            [&] {
                texts = Texts(station);
                return std::find(texts.begin(), texts.end(), marker.text) != texts.end();
            },
            kWait);
        if (!arrived) {
            return {"(the marker did not arrive)"};
        }
        texts.erase(std::find(texts.begin(), texts.end(), marker.text), texts.end());
        return texts;
    }
    int m_markers = 0;

private slots:
    void deliveredMessageClosesTheWindowAndIsFiled() {
        QVERIFY(Start());
        QPointer<CNewMsgForm> form = Write({{kRecipientUser, "BOB"}}, "line one\nline two");
        form->Send();
        QVERIFY(m_desktop->bob->inbox.WaitFor(1));
        QCOMPARE(Texts(*m_desktop->bob)[0], std::string("line one\r\nline two"));
        QCOMPARE(m_desktop->bob->inbox.Messages()[0].sender, std::string("ALICE"));
        QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), kWait);
        m_main->Archive()->SetPartner("BOB");
        QTRY_COMPARE_WITH_TIMEOUT(m_main->Archive()->Conversation().GetLastIndex(), 0, kWait);
    }

    void tooLongForAUserAsksAndCutsTo1600() {
        QVERIFY(Start());
        Write({{kRecipientUser, "BOB"}}, std::string(1601, 'a'));
        AnswerNextBox(QMessageBox::Cancel);
        m_main->WriteWindows()[0]->Send();
        QVERIFY(m_boxText.contains("broadcast message - 350 characters"));
        QVERIFY(!m_main->WriteWindows()[0]->IsSending());
        QCOMPARE(TextsBeforeMarker(*m_desktop->bob, "BOB"),
                 std::vector<std::string>{});  // Cancel sends nothing

        AnswerNextBox(QMessageBox::Ok);
        m_main->WriteWindows()[0]->Send();
        QVERIFY(m_desktop->bob->inbox.WaitFor(2));
        QCOMPARE(Texts(*m_desktop->bob)[1], std::string(1600, 'a'));
    }

    void broadcastOverTheLimitAsksWithTheSmallLimit() {
        QVERIFY(Start({"\"MessagesLargeBcastEnabled\"=dword:00000000",
                       "\"MsgSendEnableMsgFragment\"=dword:00000000"}));
        Write({{kRecipientWorkgroup, "WG"}}, std::string(200, 'b'));
        AnswerNextBox(QMessageBox::Ok);
        m_main->WriteWindows()[0]->Send();
        QVERIFY(m_boxText.contains("broadcast message - 128 characters"));
        QVERIFY(m_desktop->carol->inbox.WaitFor(1));
        // The client cuts to 128, and what is filed as sent is what went out.
        QCOMPARE(Texts(*m_desktop->carol)[0], std::string(128, 'b'));
        CvMsgArchive& archive = *m_main->Archive();
        archive.SetPartner("WG");
        QTRY_COMPARE_WITH_TIMEOUT(archive.Conversation().GetLastIndex(), 0, kWait);
        QCOMPARE(archive.Conversation().ReadValue(0, u"message").AsUtf8().size(), size_t{128});
    }

    void escapeClosesAndThePickerWaitsForTheSend() {
        QVERIFY(Start());
        // Escape in the text closes the window, as Cancel does.
        QPointer<CNewMsgForm> form = Write({{kRecipientUser, "BOB"}}, "draft");
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTest::keyClick(form->TextField(), Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), kWait);

        // With the completion list open, the first Escape closes only the list.
        m_main->Contacts()->SaveContact({kContactUser, "CAROL", "Carol", "Friends"});
        form = m_main->OpenWriteMessage({});
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        CvListEdit* field = form->RecipientField();
        field->Editor()->setFocus();
        QTest::keyClicks(field->Editor(), "car");
        QTRY_VERIFY_WITH_TIMEOUT(form->Autocomplete()->isVisible(), kWait);
        QTest::keyClick(field->Editor(), Qt::Key_Escape);
        QVERIFY(!form->Autocomplete()->isVisible());
        QVERIFY(!form.isNull() && form->isVisible());
        QTest::keyClick(field->Editor(), Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), kWait);

        // While a send runs the recipients are locked: the picker too.
        BlockingReceiver blocker;
        CMsg held;
        held.type = MsgPersonal;
        held.sender = "ALICE";
        held.recipient = held.address = "CAROL";
        held.text = "held";
        QVERIFY(m_main->Station()->Enqueue(held, &blocker, 999999));
        QVERIFY(blocker.entered.Wait(kWait) == kWaitObject0);
        form = Write({{kRecipientUser, "BOB"}}, "after the held one");
        auto* picker = form->findChild<QToolButton*>("ContactPicker");
        QVERIFY(picker != nullptr && picker->isVisible());
        QVERIFY(picker->isEnabled());
        form->Send();
        QVERIFY(form->IsSending());
        QVERIFY(!picker->isEnabled());
        form->Command(CNewMsgForm::kCmdContactPickerKey);
        QVERIFY(m_main->ContactList() == nullptr || !m_main->ContactList()->isVisible());
        blocker.release.Set();
        QVERIFY(m_desktop->bob->inbox.WaitFor(1));
        QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), kWait);
    }

    void contactGroupExpandsToItsMembers() {
        QVERIFY(Start());
        CvContactsManager* contacts = m_main->Contacts();
        contacts->SaveContact({kContactUser, "BOB", "Bob", "Team"});
        contacts->SaveContact({kContactUser, "CAROL", "Carol", "Team"});
        Write({{kRecipientGroup, "team"}}, "to the team");
        m_main->WriteWindows()[0]->Send();
        QVERIFY(m_desktop->bob->inbox.WaitFor(1));
        QVERIFY(m_desktop->carol->inbox.WaitFor(1));

        // A group nobody is in sends nothing and says so.
        CNewMsgForm* form = Write({{kRecipientGroup, "Nobody"}}, "lost?");
        AnswerNextBox(QMessageBox::Ok);
        form->Send();
        QVERIFY(m_boxText.contains("Nobody (Recipient not found)"));
        QVERIFY(!form->IsSending());
    }

    void oneUnknownRecipientKeepsTheWindowAndNamesOnlyIt() {
        QVERIFY(
            Start({"\"MsgSendFailTextNotify\"=dword:00000001", "\"SoundEnabled\"=dword:00000001",
                   "\"MsgSendFailSoundNotify\"=dword:00000001",
                   "\"SoundEventSendFail\"=\"/sounds/fail.wav\""}));
        QPointer<CNewMsgForm> form =
            Write({{kRecipientUser, "BOB"}, {kRecipientUser, "NOBODY"}}, "who is there?");
        form->Send();
        QVERIFY(form->IsSending());
        QCOMPARE(form->windowTitle(), QString("Sending message..."));
        QTRY_VERIFY_WITH_TIMEOUT(m_main->ErrorPopup() != nullptr, kWait);
        QVERIFY(!form.isNull());
        QCOMPARE(form->windowTitle(), QString("Write message"));
        QVERIFY(form->SendButton()->isEnabled());
        const QString error =
            QString::fromStdString(m_main->ErrorPopup()->TextArea()->MessageText());
        QVERIFY(error.contains("Can't send message to:\r\nNOBODY (Recipient not found)"));
        QVERIFY(!error.contains("BOB"));
        QCOMPARE(m_desktop->sounds.Played(), std::vector<std::string>{"/sounds/fail.wav"});
        QCOMPARE(m_desktop->bob->inbox.Messages().size(), size_t{1});
        m_main->Archive()->SetPartner("BOB");
        QTRY_COMPARE_WITH_TIMEOUT(m_main->Archive()->Conversation().GetLastIndex(), 0, kWait);
    }

    void emptyWindowIsReusedForTheSameRecipients() {
        QVERIFY(Start());
        CNewMsgForm* first = m_main->OpenWriteMessage({{kRecipientUser, "BOB"}});
        QCOMPARE(m_main->OpenWriteMessage({{kRecipientUser, "BOB"}}), first);
        QVERIFY(m_main->OpenWriteMessage({{kRecipientUser, "CAROL"}}) != first);
        first->TextField()->setPlainText("typed");
        CNewMsgForm* third = m_main->OpenWriteMessage({{kRecipientUser, "BOB"}});
        QVERIFY(third != first);
        QCOMPARE(m_main->WriteWindows().size(), size_t{3});
    }

    void closingDuringASendWithdrawsTheRest() {
        QVERIFY(Start());
        // Hold the outbox on a first message so that the window's are queued.
        BlockingReceiver blocker;
        CMsg held;
        held.type = MsgPersonal;
        held.sender = "ALICE";
        held.recipient = held.address = "CAROL";
        held.text = "held";
        QVERIFY(m_main->Station()->Enqueue(held, &blocker, 999999));
        QVERIFY(blocker.entered.Wait(kWait) == kWaitObject0);

        QPointer<CNewMsgForm> form =
            Write({{kRecipientUser, "BOB"}, {kRecipientUser, "BOB"}, {kRecipientUser, "BOB"}},
                  "never sent");
        form->Send();
        QVERIFY(form->IsSending());
        std::thread releaser([&blocker] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            blocker.release.Set();
        });
        form->close();
        releaser.join();
        QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), kWait);
        // The held message went on; the outbox may already have started the
        // window's first one when the window closed, but the others never go
        // out, and no result reaches the gone window.
        QCOMPARE(TextsBeforeMarker(*m_desktop->carol, "CAROL"), std::vector<std::string>{"held"});
        const std::vector<std::string> got = TextsBeforeMarker(*m_desktop->bob, "BOB");
        QVERIFY2(got.empty() || got == std::vector<std::string>{"never sent"},
                 qPrintable(QString("BOB got %1 message(s)").arg(got.size())));
    }

    void ctrlEnterSendsAndEnterBreaksTheLine() {
        QVERIFY(Start({"\"UserSignMsgWith\"=dword:00000002"}));
        CNewMsgForm* form = Write({{kRecipientUser, "BOB"}}, "");
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        form->TextField()->setFocus();
        QTest::keyClicks(form->TextField(), "one");
        QTest::keyClick(form->TextField(), Qt::Key_Return);
        QTest::keyClicks(form->TextField(), "two");
        QTest::keyClick(form->TextField(), Qt::Key_Return, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->bob->inbox.Messages().size(), size_t{1}, kWait);
        QCOMPARE(Texts(*m_desktop->bob)[0], std::string("one\r\ntwo"));
        QCOMPARE(m_desktop->bob->inbox.Messages()[0].sender, std::string("PC1"));
    }

    void placementIsKeptFromOneWindowToTheNext() {
        QVERIFY(Start());
        QPointer<CNewMsgForm> first = m_main->OpenWriteMessage({});
        QCOMPARE(first->size(), QSize(400, 300));  // nothing stored yet
        first->setGeometry(100, 120, 500, 350);
        first->close();
        QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), kWait);
        CNewMsgForm* second = m_main->OpenWriteMessage({});
        QCOMPARE(second->geometry(), QRect(100, 120, 500, 350));
    }

    void noRecipientIsRefused() {
        QVERIFY(Start());
        CNewMsgForm* form = Write({}, "to whom?");
        AnswerNextBox(QMessageBox::Ok);
        form->Send();
        QCOMPARE(m_boxText, QString("Recipient name not specified!"));
        QVERIFY(!form->IsSending());
    }

    void typedNamesAndAutocompleteBecomeRecipients() {
        QVERIFY(Start());
        m_main->Contacts()->SaveContact({kContactUser, "CAROL", "Carol Smith", "Friends"});
        CNewMsgForm* form = m_main->OpenWriteMessage({});
        CvListEdit* field = form->RecipientField();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        field->Editor()->setFocus();
        QTest::keyClicks(field->Editor(), "bob;car");
        QTRY_VERIFY_WITH_TIMEOUT(form->Autocomplete()->isVisible(), kWait);
        QTest::keyClick(field->Editor(), Qt::Key_Down);
        QTest::keyClick(field->Editor(), Qt::Key_Return);
        QCOMPARE(form->Recipients(),
                 (std::vector<CvRecipient>{{kRecipientUser, "bob"}, {kRecipientUser, "CAROL"}}));
    }
};

QTEST_MAIN(NewMsgFormTest)
#include "CNewMsgForm_test.moc"
