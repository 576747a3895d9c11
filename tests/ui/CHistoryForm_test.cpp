// The message archive window over a real archive file: the dialogue list and
// a dialogue's messages, the search's delay, opening, deleting, clearing and
// exporting, the row menu by the settings, leaving the search field by
// keyboard, and messages that arrive while it is open.
#include <QApplication>
#include <QClipboard>
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

private slots:
    void readMessagesOpensOneWindowWithTheDialogueList() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        QVERIFY(form->isVisible());
        QCOMPARE(form->windowTitle(), QString("Message archive"));
        QCOMPARE(form->CurrentView(), CHistoryForm::kDialogues);
        QCOMPARE(form->DialogueGrid()->RowCount(), 2);
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
        QCOMPARE(form->DialogueGrid()->RowCount(), 1);
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
        QCOMPARE(form->DialogueGrid()->RowCount(), 1);

        // The field's button clears the search at once.
        const size_t searched = log.searches.size();
        emit form->SearchField()->buttonClicked();
        QCOMPARE(log.searches.size(), searched + 1);
        QCOMPARE(log.searches.back().second, QString());
        QCOMPARE(form->DialogueGrid()->RowCount(), 2);
        m_main->Archive()->Dialogues().Detach(&log);
    }

    // From the search field Down moves to the dialogues found, where Ctrl+C
    // copies the selected dialogue's newest message.
    void downLeavesTheSearchFieldForTheDialogues() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTreeView* list = form->DialogueGrid()->List();
        QCOMPARE(QApplication::focusWidget(), list);
        form->SearchField()->setFocus();
        QTest::keyClicks(form->SearchField(), "bob");
        QTest::keyClick(form->SearchField(), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), list);
        QTRY_COMPARE_WITH_TIMEOUT(form->DialogueGrid()->RowCount(), 1, kWait);
        QGuiApplication::clipboard()->setText("before");
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("answer to bob"));
        // In the list Down moves to the next row as ever.
        emit form->SearchField()->buttonClicked();
        QCOMPARE(form->DialogueGrid()->RowCount(), 2);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(form->DialogueGrid()->CurrentRow(), 1);
        QCOMPARE(QApplication::focusWidget(), list);
    }

    void aDialogueShowsItsMessagesAndFollowsTheArchive() {
        CHistoryForm* form = Open();
        QVERIFY(form != nullptr);
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

        // Delete removes the row from both views' files and refreshes both.
        form->Command(CHistoryForm::kCmdDelete);
        QCOMPARE(form->MessageGrid()->RowCount(), 2);
        form->Command(CHistoryForm::kCmdBack);
        QCOMPARE(form->CurrentView(), CHistoryForm::kDialogues);
        QCOMPARE(form->DialogueGrid()->RowCount(), 2);

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
        form->askExportFile = [&dir] { return std::pair(dir.filePath("archive"), true); };
        form->Command(CHistoryForm::kCmdExport);
        QFile html(dir.filePath("archive.html"));
        QVERIFY(html.open(QIODevice::ReadOnly));
        const QByteArray page = html.readAll();
        QVERIFY(page.contains("<table"));
        QVERIFY(page.contains("carol says hello"));
        form->askExportFile = [] { return std::pair(QString(), false); };
        form->Command(CHistoryForm::kCmdExport);  // cancelled: nothing happens
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
