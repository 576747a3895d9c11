// The message archive window over a real archive file: the dialogue list and
// a dialogue's messages, the search's delay, opening, deleting, clearing and
// exporting, the row menu by the settings, leaving the search field by
// keyboard, and messages that arrive while it is open.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "app/CvAppPropertyEditor.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvObservationSubject.h"
#include "app/CvObserver.h"
#include "messaging/CMsg.h"
#include "storage/CvMsgArchive.h"
#include "support/MainFormTestCase.h"
#include "ui/CHistoryForm.h"
#include "ui/CMainForm.h"
#include "ui/CNewMsgForm.h"
#include "widgets/CvDataSetGrid2.h"
#include "widgets/CvEdit.h"
#include "widgets/CvMessageRowDelegate.h"

namespace Id = CvSettingId;

namespace {

constexpr int kWait = 10000;

CMsg Message(const std::string& sender, const std::string& recipient, const std::string& text) {
    CMsg msg;
    msg.type = MsgPersonal;
    msg.sender = sender;
    msg.recipient = recipient;
    msg.address = recipient;
    msg.text = text;
    return msg;
}

// Counts the notifications of a subject.
struct Counter : CvObserver {
    int count = 0;
    void Update(CvObservationSubject*) override { ++count; }
};

QStringList MenuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            texts << action->text();
        }
    }
    return texts;
}

}  // namespace

class HistoryFormTest : public MainFormTestCase {
    Q_OBJECT

private:
    // Starts the main window with BOB's and CAROL's messages in the archive,
    // CAROL's newest, and opens the archive window.
    CHistoryForm* Open(const std::vector<std::string>& settings = {}) {
        if (!Start(settings) || !m_main->Archive()) {
            return nullptr;
        }
        CvMsgArchive& archive = *m_main->Archive();
        constexpr uint64_t kSecond = 10'000'000;  // file time ticks
        const uint64_t start = 13'300'000'000ULL * kSecond;
        archive.StoreReceived(Message("BOB", "ALICE", "first from bob"), start);
        CMsg answer = Message("ALICE", "BOB", "answer to bob");
        answer.time = start + 60 * kSecond;
        archive.StoreSent(answer);
        archive.StoreReceived(Message("CAROL", "ALICE", "carol says hello"), start + 120 * kSecond);
        m_main->Command(CMainForm::kCmdReadMessages);
        return m_main->ArchiveWindow();
    }

    // The dialogue list is searched for in the background: waits until it
    // shows `rows` rows and no search runs.
    bool Listed(CHistoryForm* form, int rows) {
        return QTest::qWaitFor(
            [&] {
                return !m_main->Archive()->Dialogues().IsSearching() &&
                       form->DialogueGrid()->RowCount() == rows;
            },
            kWait);
    }

    QStringList Interlocutors() {
        QStringList names;
        CvDataSet& dialogues = m_main->Archive()->Dialogues();
        for (int i = 0; i <= dialogues.GetLastIndex(); ++i) {
            names << QString::fromStdString(dialogues.ReadValue(i, u"interlocutor").AsUtf8());
        }
        return names;
    }

private slots:
    void readMessagesOpensOneWindowWithTheDialogueList() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        QVERIFY(form->isVisible());
        QCOMPARE(form->windowTitle(), QString("Message archive"));
        QCOMPARE(form->CurrentView(), CHistoryForm::kDialogues);
        QVERIFY(Listed(form, 2));
        QCOMPARE(form->DialogueGrid()->CurrentRow(), 0);
        m_main->Command(CMainForm::kCmdReadMessages);
        QCOMPARE(m_main->ArchiveWindow(), form);
        form->grab().save(QString(qgetenv("CORVANE_SCREENSHOTS")) + "archive-dialogues.png");
    }

    // Keys typed less than the delay apart: the search runs once, for the
    // whole text, no sooner than the delay after the last key. Times are
    // only compared with the keys', so a slow machine cannot fail it.
    void searchRunsOnceHalfASecondAfterTheLastKey() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        QVERIFY(Listed(form, 2));
        QElapsedTimer clock;
        clock.start();
        struct SearchLog : CvObserver {
            const QElapsedTimer* clock = nullptr;
            CvEdit* field = nullptr;
            std::vector<std::pair<qint64, QString>> searches;  // time, text
            void Update(CvObservationSubject*) override {
                searches.emplace_back(clock->elapsed(), field->text());
            }
        } log;
        log.clock = &clock;
        log.field = form->SearchField();
        m_main->Archive()->Dialogues().Attach(&log);
        constexpr int kPause = CHistoryForm::kSearchDelayMs / 2;
        std::vector<qint64> keys;  // when each key was typed
        const auto type = [&](const QString& text) {
            for (const QChar key : text) {
                if (!keys.empty()) {
                    QTest::qWait(kPause);
                }
                keys.push_back(clock.elapsed());
                QTest::keyClicks(form->SearchField(), QString(key));
            }
        };
        // Qt's coarse timers may fire up to 5 % early.
        constexpr qint64 kEarliest = CHistoryForm::kSearchDelayMs * 95 / 100;
        // Every search ran at least the delay after the key before it.
        const auto checkDelays = [&] {
            for (const auto& [at, text] : log.searches) {
                const auto before = std::find_if(keys.rbegin(), keys.rend(),
                                                 [at = at](qint64 key) { return key <= at; });
                QVERIFY(before != keys.rend());
                QVERIFY2(
                    at - *before >= kEarliest,
                    qPrintable(
                        QString("\"%1\" searched %2 ms after a key").arg(text).arg(at - *before)));
            }
        };

        type("car");
        QTRY_VERIFY_WITH_TIMEOUT(!log.searches.empty(), kWait);
        checkDelays();
        if (QTest::currentTestFailed()) {
            return;
        }
        QCOMPARE(log.searches.back().second, QString("car"));
        QVERIFY(log.searches.back().first - keys.back() >= kEarliest);
        // Only a machine that stalled between two keys may search between them.
        const auto pauses = [&](size_t from) {
            qint64 longest = 0;
            for (size_t i = from + 1; i < keys.size(); ++i) {
                longest = std::max(longest, keys[i] - keys[i - 1]);
            }
            return longest;
        };
        if (pauses(0) < kEarliest) {
            QCOMPARE(log.searches.size(), size_t{1});
        }
        QVERIFY(Listed(form, 1));
        QCOMPARE(form->DialogueGrid()->CurrentText(u"interlocutor"), std::string("CAROL"));

        // Two more keys: again one search, after the last of them.
        const size_t before = log.searches.size();
        const size_t firstKey = keys.size();
        type("ol");
        QTRY_VERIFY_WITH_TIMEOUT(log.searches.size() > before, kWait);
        checkDelays();
        if (QTest::currentTestFailed()) {
            return;
        }
        QCOMPARE(log.searches.back().second, QString("carol"));
        QVERIFY(log.searches.back().first - keys.back() >= kEarliest);
        if (pauses(firstKey) < kEarliest) {
            QCOMPARE(log.searches.size(), before + 1);
        }
        QVERIFY(Listed(form, 1));

        // The field's button clears the search without the pause.
        const size_t searched = log.searches.size();
        const qint64 cleared = clock.elapsed();
        emit form->SearchField()->buttonClicked();
        QVERIFY(Listed(form, 2));
        QCOMPARE(log.searches.size(), searched + 1);
        QCOMPARE(log.searches.back().second, QString());
        QVERIFY(log.searches.back().first - cleared < kEarliest);
        m_main->Archive()->Dialogues().Detach(&log);
    }

    // From the search field Down moves to the dialogues found, where Ctrl+C
    // copies the selected dialogue's newest message.
    void downLeavesTheSearchFieldForTheDialogues() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        QVERIFY(QTest::qWaitForWindowActive(form));
        QVERIFY(Listed(form, 2));
        QTreeView* list = form->DialogueGrid()->List();
        QCOMPARE(QApplication::focusWidget(), list);
        form->SearchField()->setFocus();
        QTest::keyClicks(form->SearchField(), "bob");
        QTest::keyClick(form->SearchField(), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), list);
        QVERIFY(Listed(form, 1));
        QGuiApplication::clipboard()->setText("before");
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("answer to bob"));
        // In the list Down moves to the next row as ever.
        emit form->SearchField()->buttonClicked();
        QVERIFY(Listed(form, 2));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(form->DialogueGrid()->CurrentRow(), 1);
        QCOMPARE(QApplication::focusWidget(), list);
    }

    void aDialogueShowsItsMessagesAndFollowsTheArchive() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        QVERIFY(Listed(form, 2));
        // The older dialogue, BOB's: its newest message is ALICE's answer.
        form->DialogueGrid()->SetCurrentRow(1);
        QTest::keyClick(form->DialogueGrid()->List(), Qt::Key_Return);
        QCOMPARE(form->CurrentView(), CHistoryForm::kMessages);
        QCOMPARE(QString::fromStdString(form->Correspondent().name), QString("BOB"));
        QCOMPARE(form->MessageGrid()->RowCount(), 2);
        QCOMPARE(form->MessageGrid()->CurrentText(u"message"), std::string("answer to bob"));
        form->grab().save(QString(qgetenv("CORVANE_SCREENSHOTS")) + "archive-dialogue.png");

        // A message from BOB arriving now appears without any action, and the
        // row the user looks at stays current.
        CMsg late = Message("BOB", "ALICE", "one more from bob");
        m_main->ReceivedBinding()(late);
        QTRY_COMPARE_WITH_TIMEOUT(form->MessageGrid()->RowCount(), 3, kWait);
        QCOMPARE(form->MessageGrid()->CurrentText(u"message"), std::string("answer to bob"));

        // Copy takes the whole message without a selection.
        form->Command(CHistoryForm::kCmdCopy);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("answer to bob"));

        // Delete removes the row from the file; the dialogue list, not shown
        // meanwhile, catches up when it is shown again.
        form->Command(CHistoryForm::kCmdDelete);
        QCOMPARE(form->MessageGrid()->RowCount(), 2);
        QVERIFY(!m_main->Archive()->Dialogues().IsFollowing());
        form->Command(CHistoryForm::kCmdBack);
        QCOMPARE(form->CurrentView(), CHistoryForm::kDialogues);
        QVERIFY(!m_main->Archive()->Conversation().IsFollowing());
        QVERIFY(Listed(form, 2));
        QTRY_COMPARE_WITH_TIMEOUT(Interlocutors(), (QStringList{"BOB", "CAROL"}), kWait);
        QCOMPARE(form->DialogueGrid()->CurrentText(u"message"), std::string("one more from bob"));

        // Clearing asks first; No keeps everything, Yes empties both views.
        bool answer = false;
        form->confirmClear = [&answer] { return answer; };
        form->Command(CHistoryForm::kCmdClear);
        QCOMPARE(form->DialogueGrid()->RowCount(), 2);
        answer = true;
        form->Command(CHistoryForm::kCmdClear);
        QCOMPARE(form->DialogueGrid()->RowCount(), 0);
        QCOMPARE(form->MessageGrid()->RowCount(), 0);
    }

    void exportNamesTheFileByTheFilter() {
        struct Case {
            const char* chosen;
            bool htmlFilter;
            const char* path;
            bool html;
        };
        for (const Case& c : {Case{"/tmp/x/messages", true, "/tmp/x/messages.html", true},
                              Case{"/tmp/x/messages", false, "/tmp/x/messages.csv", false},
                              Case{"/tmp/x/messages.txt", true, "/tmp/x/messages.txt", false},
                              Case{"/tmp/x/Old.HTML", false, "/tmp/x/Old.HTML", true},
                              Case{"/tmp/x.y/messages", false, "/tmp/x.y/messages.csv", false}}) {
            const auto [path, html] = CHistoryForm::ExportTarget(c.chosen, c.htmlFilter);
            QCOMPARE(path, QString(c.path));
            QCOMPARE(html, c.html);
        }

        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        QTemporaryDir dir;
        const QString target = dir.filePath("archive.html");
        QStringList asked;
        bool replace = false;
        form->askExportFile = [&dir] { return std::pair(dir.filePath("archive"), true); };
        form->confirmReplace = [&](const QString& path) {
            asked << path;
            return replace;
        };
        const auto page = [&target] {
            QFile html(target);
            return html.open(QIODevice::ReadOnly) ? html.readAll() : QByteArray();
        };
        // A new file: no question; written in the background.
        form->Command(CHistoryForm::kCmdExport);
        QTRY_VERIFY_WITH_TIMEOUT(page().contains("carol says hello"), kWait);
        QVERIFY(page().contains("<table"));
        QVERIFY(asked.isEmpty());

        // The file the name with its extension names exists: asked about
        // that name; No keeps the file.
        QFile mine(target);
        QVERIFY(mine.open(QIODevice::WriteOnly | QIODevice::Truncate));
        mine.write("mine");
        mine.close();
        form->Command(CHistoryForm::kCmdExport);
        QCOMPARE(asked, QStringList{target});
        QCOMPARE(page(), QByteArray("mine"));
        replace = true;
        form->Command(CHistoryForm::kCmdExport);
        QCOMPARE(asked.size(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(page().contains("carol says hello"), kWait);

        // A file that cannot be written is reported, and nothing is left.
        QStringList failures;
        form->exportFailed = [&failures](const QString& path) { failures << path; };
        form->askExportFile = [&dir] { return std::pair(dir.filePath("none/archive.csv"), false); };
        form->Command(CHistoryForm::kCmdExport);
        QTRY_COMPARE_WITH_TIMEOUT(failures, QStringList{dir.filePath("none/archive.csv")}, kWait);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"archive.html"});

        form->askExportFile = [] { return std::pair(QString(), false); };
        form->Command(CHistoryForm::kCmdExport);  // cancelled: nothing happens
        QCOMPARE(asked.size(), 2);
    }

    // "Write message to sender" writes to the correspondent of the row: the
    // sender of a received message, the recipient (with its kind) of a sent
    // one, never the user.
    void writeToSenderWritesToTheCorrespondent() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        CMsg broadcast = Message("ALICE", "WORKGROUP", "to everybody");
        broadcast.type = MsgBroadcast;
        broadcast.time = 13'300'000'000ULL * 10'000'000 + 30 * 10'000'000ULL;
        m_main->Archive()->StoreSent(broadcast);
        QVERIFY(Listed(form, 3));
        QCOMPARE(Interlocutors(), (QStringList{"CAROL", "BOB", "WORKGROUP"}));
        const auto writtenTo = [this](const CvRecipient& recipient) {
            int windows = 0;
            for (CNewMsgForm* window : m_main->WriteWindows()) {
                windows += window->Recipients() == std::vector<CvRecipient>{recipient} ? 1 : 0;
            }
            return windows;
        };
        struct Case {
            int row;
            CvRecipient written;
        };
        // BOB's dialogue shows ALICE's answer to him, the newest message.
        for (const Case& c : {Case{1, {kRecipientUser, "BOB"}}, Case{0, {kRecipientUser, "CAROL"}},
                              Case{2, {kRecipientWorkgroup, "WORKGROUP"}}}) {
            form->DialogueGrid()->SetCurrentRow(c.row);
            form->Command(CHistoryForm::kCmdWriteToSender);
            QCOMPARE(writtenTo(c.written), 1);
        }
        // In BOB's dialogue both rows answer BOB, and nothing is written to
        // the user herself.
        form->DialogueGrid()->SetCurrentRow(1);
        form->Command(CHistoryForm::kCmdOpenDialogue);
        QCOMPARE(form->MessageGrid()->RowCount(), 2);
        for (int row : {0, 1}) {
            form->MessageGrid()->SetCurrentRow(row);
            form->Command(CHistoryForm::kCmdWriteToSender);
            QCOMPARE(writtenTo({kRecipientUser, "BOB"}), 1);
        }
        QCOMPARE(m_main->WriteWindows().size(), size_t{3});
        QCOMPARE(writtenTo({kRecipientUser, "ALICE"}), 0);
    }

    // Only the list on screen follows the archive; a hidden window's lists do
    // no work for arriving messages, and show them when shown again.
    void aHiddenWindowCatchesUpWhenShown() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        QVERIFY(Listed(form, 2));
        CvMsgArchive& archive = *m_main->Archive();
        QVERIFY(archive.Dialogues().IsFollowing());
        QVERIFY(!archive.Conversation().IsFollowing());
        QTest::keyClick(form, Qt::Key_Escape);
        QVERIFY(!archive.Dialogues().IsFollowing());
        CMsg late = Message("DAVE", "ALICE", "dave was here");
        m_main->ReceivedBinding()(late);
        QTRY_COMPARE_WITH_TIMEOUT(m_main->PopupList().Count(), 1, kWait);
        QCOMPARE(form->DialogueGrid()->RowCount(), 2);
        m_main->Command(CMainForm::kCmdReadMessages);
        QVERIFY(archive.Dialogues().IsFollowing());
        QVERIFY(Listed(form, 3));
        QCOMPARE(Interlocutors(), (QStringList{"DAVE", "CAROL", "BOB"}));
    }

    // A search that no index helps runs in the background; messages that
    // arrive while it runs are in its result.
    void messagesArrivingDuringASearchAreListed() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        QVERIFY(Listed(form, 2));
        QTest::keyClicks(form->SearchField(), "lo");
        // Running, or just done: either way the result must hold them.
        QTRY_VERIFY_WITH_TIMEOUT(m_main->Archive()->Dialogues().IsSearching() ||
                                     m_main->Archive()->Dialogues().Pattern().AsUtf8() == "%lo%",
                                 kWait);
        CMsg news = Message("DAVE", "ALICE", "lots of news");
        CMsg nothing = Message("ERIN", "ALICE", "nothing here");
        m_main->ReceivedBinding()(news);
        m_main->ReceivedBinding()(nothing);
        QVERIFY(Listed(form, 2));
        QTRY_COMPARE_WITH_TIMEOUT(Interlocutors(), (QStringList{"DAVE", "CAROL"}), kWait);
        // The first row of the result, or the row the user kept when the
        // messages came after it.
        QVERIFY(form->DialogueGrid()->CurrentRow() >= 0);
    }

    void theRowMenuFollowsTheSettings() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        QCOMPARE(MenuTexts(form->RowMenu()),
                 (QStringList{"Write message to sender", "Copy", "Delete"}));
        QCOMPARE(MenuTexts(form->ServiceMenu()), (QStringList{"Clear archive", "Export messages"}));
        cleanup();
        init();
        form = Open({"\"MsgArcCntxMenuDelDisabled\"=dword:00000001",
                     "\"MsgSendDisabled\"=dword:00000001",
                     "\"MsgArcSvcMenuClearDisabled\"=dword:00000001"});
        QVERIFY(form != nullptr);
        QCOMPARE(MenuTexts(form->RowMenu()), QStringList{"Copy"});
        QCOMPARE(MenuTexts(form->ServiceMenu()), QStringList{"Export messages"});
    }

    // Appearance changed in the options reaches the open window at once, and
    // turning custom appearance off brings back the standard look.
    void anOpenWindowFollowsAppearanceChanges() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        QVERIFY(form->isVisible());
        const QFont standard = form->font();
        auto apply = [this](std::vector<std::pair<int32_t, CvPropertyValue>> values) {
            CvAppPropertyEditor editor(m_main->Settings());
            for (auto& [id, value] : values) {
                editor.Set(id, value);
            }
            editor.Commit();
        };
        apply(
            {{Id::kAppearanceEnabled, CvPropertyValue::Integer(1)},
             {Id::kMsgArcFontMsgText, CvPropertyValue::Text("name=DejaVu Serif, size=17")},
             {Id::kMsgArcCurRowHighlight, CvPropertyValue::Text("color=0000ff, bkcolor=00ff00")}});
        for (CvDataSetGrid2* grid : {form->DialogueGrid(), form->MessageGrid()}) {
            QCOMPARE(grid->List()->font().pointSize(), 17);
            QCOMPARE(grid->List()->font().family(), QString("DejaVu Serif"));
            QCOMPARE(grid->Delegate()->HighlightText(), QColor(Qt::red));
            QCOMPARE(grid->Delegate()->HighlightBackground(), QColor(Qt::green));
        }
        apply({{Id::kAppearanceEnabled, CvPropertyValue::Integer(0)}});
        for (CvDataSetGrid2* grid : {form->DialogueGrid(), form->MessageGrid()}) {
            QCOMPARE(grid->List()->font(), standard);
            QVERIFY(!grid->Delegate()->HighlightText().isValid());
            QVERIFY(!grid->Delegate()->HighlightBackground().isValid());
        }
    }

    void escapeAndCloseOnlyHideIt() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        QTest::keyClick(form, Qt::Key_Escape);
        QVERIFY(!form->isVisible());
        m_main->Command(CMainForm::kCmdReadMessages);
        QVERIFY(form->isVisible());
        form->close();
        QVERIFY(!form->isVisible());
        QCOMPARE(m_main->ArchiveWindow(), form);
    }
};

QTEST_MAIN(HistoryFormTest)
#include "CHistoryForm_test.moc"
