// The autostart dialog: the button of the chosen state, its texts, and the
// options page's change over temporary autostart folders (cancel, the same
// state, a refused password, a change made), without a modal loop, and once
// through the real modal loop; the GUI runs while the password is asked for.
#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <optional>

#include <sys/stat.h>

#include "app/CvAppPropertyEditor.h"
#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsTable.h"
#include "platform/CvAutostartEntries.h"
#include "support/TestEnv.h"
#include "ui/CDlgEditAutoStartup.h"
#include "ui/CvResources.h"

namespace {

const std::string kName = "Corvane Messenger";
const std::string kOldCommand = "\"/opt/old/corvane-messenger\"";

// The helper is built at the top of the build tree (tests/ui/<test> below it).
std::string HelperBinary() {
    return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path().parent_path() /
           "corvane-elevated-writer";
}

}  // namespace

class DlgEditAutoStartupTest : public QObject {
    Q_OBJECT

private:
    // Every store the change touches, in a private folder; pkexec refuses.
    struct Stores {
        TempDir dir;
        ScopedEnv config{"XDG_CONFIG_HOME", dir.File("config")};
        ScopedEnv userReg{"CORVANE_USER_REGISTRY", dir.File("user.reg")};
        ScopedEnv machineReg{"CORVANE_MACHINE_REGISTRY", dir.File("machine.reg")};
        ScopedEnv program{"CORVANE_PROGRAM_DIR", dir.File("program")};
        ScopedEnv helper{"CORVANE_ELEVATED_WRITER", HelperBinary()};
        ScopedEnv pkexec{"CORVANE_PKEXEC", dir.File("pkexec")};
        std::optional<ScopedEnv> machine{std::in_place, "CORVANE_MACHINE_AUTOSTART_DIR",
                                         dir.File("machine-autostart")};

        Stores() {
            WriteFileText(dir.File("pkexec"),
                          "#!/bin/sh\ntouch '" + dir.File("asked") + "'\nexit 126\n");
            chmod(dir.File("pkexec").c_str(), 0755);
            WriteFileText(dir.File("plainfile"), "not a folder");
        }
        CvAutostartEntries User() const { return CvAutostartEntries(dir.File("config/autostart")); }
        CvAutostartEntries Machine() const {
            return CvAutostartEntries(dir.File("machine-autostart"));
        }
        // The machine's folder needs the administrator's password.
        void LockMachine() {
            machine.emplace("CORVANE_MACHINE_AUTOSTART_DIR", dir.File("plainfile/autostart"));
        }
        bool Asked() const { return std::filesystem::exists(dir.File("asked")); }
        std::string Command() const { return "\"" + dir.File("program") + "/corvane-messenger\""; }
    };

    // Picks `state` in the shown dialog and closes it with `result`; records
    // what the dialog showed when it opened.
    struct Answer {
        int32_t pick;
        int result;
        int32_t shown = -1;
        int calls = 0;
        int operator()(CDlgEditAutoStartup& dialog) {
            ++calls;
            shown = dialog.ChosenState();
            if (QRadioButton* button = dialog.StateButton(pick)) {
                button->click();
            }
            return result;
        }
    };

    static void Put(const Stores& stores, int32_t state) {
        if (state == 1) {
            QVERIFY(stores.User().Write(kName, kOldCommand));
        } else if (state == 2) {
            QVERIFY(stores.Machine().Write(kName, kOldCommand));
        }
    }

private slots:
    void initTestCase() {
        CvResources::Init();
        QVERIFY2(std::filesystem::exists(HelperBinary()),
                 "build the corvane-elevated-writer target first");
    }
    void cleanup() { CDlgEditAutoStartup::showModal = nullptr; }

    void dialogShowsTheChosenStateAndReturnsTheNewChoice() {
        CDlgEditAutoStartup dialog;
        QCOMPARE(dialog.windowTitle(), QString("Launch at the start of the desktop session"));
        const QStringList texts = {"Disabled", "Enabled for current user only",
                                   "Enabled for all users of this computer"};
        for (int32_t state = 0; state <= 2; ++state) {
            QCOMPARE(dialog.StateButton(state)->text(), texts[state]);
            QCOMPARE(CDlgEditAutoStartup::StateText(state), texts[state]);
        }
        QVERIFY(dialog.StateButton(3) == nullptr);
        QStringList buttons;
        for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
            buttons << button->text();
        }
        QCOMPARE(buttons, (QStringList{"OK", "Cancel"}));

        for (int32_t chosen = 0; chosen <= 2; ++chosen) {
            CDlgEditAutoStartup fresh;
            fresh.SetChosenState(chosen);
            fresh.show();
            QVERIFY(QTest::qWaitForWindowExposed(&fresh));
            for (int32_t state = 0; state <= 2; ++state) {
                QCOMPARE(fresh.StateButton(state)->isChecked(), state == chosen);
            }
            QCOMPARE(fresh.ChosenState(), chosen);
            const int32_t other = (chosen + 1) % 3;
            // On the round indicator: the button is wider than its text.
            QRadioButton* button = fresh.StateButton(other);
            QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
            QCOMPARE(fresh.ChosenState(), other);
            QVERIFY(!fresh.StateButton(chosen)->isChecked());
        }
    }

    void screenshot() {
        if (!qEnvironmentVariableIsSet("CORVANE_SCREENSHOTS")) {
            QSKIP("set CORVANE_SCREENSHOTS to a folder (with a trailing slash) to take it");
        }
        CDlgEditAutoStartup dialog;
        dialog.SetChosenState(1);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.grab().save(QString(qgetenv("CORVANE_SCREENSHOTS")) + "autostart.png"));
    }

    void change_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("pick");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("lockMachine");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<bool>("asked");
        QTest::newRow("cancel") << 1 << 2 << int(QDialog::Rejected) << false << false << false;
        QTest::newRow("same state") << 1 << 1 << int(QDialog::Accepted) << false << false << false;
        QTest::newRow("to all users, password refused")
            << 1 << 2 << int(QDialog::Accepted) << true << false << true;
        QTest::newRow("to all users") << 1 << 2 << int(QDialog::Accepted) << false << true << false;
        QTest::newRow("to current user")
            << 0 << 1 << int(QDialog::Accepted) << true << true << false;
        QTest::newRow("to disabled") << 2 << 0 << int(QDialog::Accepted) << false << true << false;
    }

    void change() {
        QFETCH(int, from);
        QFETCH(int, pick);
        QFETCH(int, result);
        QFETCH(bool, lockMachine);
        QFETCH(bool, changed);
        QFETCH(bool, asked);
        Stores stores;
        Put(stores, from);
        if (lockMachine) {
            stores.LockMachine();
        }
        CvAppPropertyList list;
        list.Set(CvSettingId::kAutoStart, CvPropertyValue::Integer(from));
        CvAppPropertyEditor editor(list);
        Answer answer{pick, result};
        CDlgEditAutoStartup::showModal = std::ref(answer);

        std::optional<bool> done;
        CDlgEditAutoStartup::Change(nullptr, editor, [&done](bool result) { done = result; });
        QTRY_VERIFY_WITH_TIMEOUT(done.has_value(), 10000);
        QCOMPARE(*done, changed);
        QCOMPARE(answer.calls, 1);
        QCOMPARE(answer.shown, from);
        QCOMPARE(stores.Asked(), asked);
        const int32_t now = changed ? pick : from;
        QCOMPARE(editor.Get(CvSettingId::kAutoStart).GetInt(), now);
        // What the options page then shows for the setting.
        const QStringList texts = {"Disabled", "Enabled for current user only",
                                   "Enabled for all users of this computer"};
        QCOMPARE(CDlgEditAutoStartup::StateText(editor.Get(CvSettingId::kAutoStart).GetInt()),
                 texts[now]);
        // The entries were written at once; the list waits for the editor's commit.
        QCOMPARE(list.Get(CvSettingId::kAutoStart).GetInt(), from);
        const std::string command = changed ? stores.Command() : kOldCommand;
        QCOMPARE(stores.User().Read(kName), now == 1 ? std::optional(command) : std::nullopt);
        QCOMPARE(stores.Machine().Read(kName), now == 2 ? std::optional(command) : std::nullopt);
    }

    void changeThroughTheModalLoop() {
        Stores stores;
        CvAppPropertyList list;
        CvAppPropertyEditor editor(list);
        bool seen = false;
        QTimer::singleShot(0, [&seen] {
            auto* dialog = qobject_cast<CDlgEditAutoStartup*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            seen = dialog->StateButton(0)->isChecked();
            dialog->StateButton(1)->click();
            QTest::keyClick(dialog, Qt::Key_Return);
        });
        // Should the click not close it, the dialog is not left hanging.
        QTimer rescue;
        rescue.setSingleShot(true);
        connect(&rescue, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
        });
        rescue.start(10000);
        std::optional<bool> done;
        QVERIFY(
            CDlgEditAutoStartup::Change(nullptr, editor, [&done](bool result) { done = result; }));
        QTRY_VERIFY_WITH_TIMEOUT(done.has_value(), 10000);
        QVERIFY(*done);
        QVERIFY(seen);
        QCOMPARE(editor.Get(CvSettingId::kAutoStart).GetInt(), 1);
        QCOMPARE(stores.User().Read(kName), std::optional(stores.Command()));
    }

    // The administrator's password dialog stays as long as the user lets it:
    // the program's windows go on meanwhile, and the result comes after.
    void theGuiRunsWhileThePasswordIsAsked() {
        Stores stores;
        stores.LockMachine();
        // A pkexec that waits until the test lets it refuse.
        WriteFileText(stores.dir.File("pkexec"),
                      "#!/bin/sh\ntouch '" + stores.dir.File("asked") + "'\ni=0\nwhile [ ! -e '" +
                          stores.dir.File("release") +
                          "' ] && [ $i -lt 300 ]; do sleep 0.05; i=$((i+1)); done\nexit 126\n");
        CvAppPropertyList list;
        CvAppPropertyEditor editor(list);
        Answer answer{2, QDialog::Accepted};
        CDlgEditAutoStartup::showModal = std::ref(answer);
        std::optional<bool> done;
        QVERIFY(
            CDlgEditAutoStartup::Change(nullptr, editor, [&done](bool result) { done = result; }));
        // Back on the GUI thread while pkexec still waits.
        QVERIFY(!done.has_value());
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(10);
        QTRY_VERIFY_WITH_TIMEOUT(stores.Asked(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 5, 10000);
        QVERIFY(!done.has_value());
        WriteFileText(stores.dir.File("release"), "");
        QTRY_VERIFY_WITH_TIMEOUT(done.has_value(), 20000);
        QVERIFY(!*done);
        QCOMPARE(editor.Get(CvSettingId::kAutoStart).GetInt(), 0);
        QCOMPARE(stores.Machine().Read(kName), std::nullopt);
    }
};

QTEST_MAIN(DlgEditAutoStartupTest)
#include "CDlgEditAutoStartup_test.moc"
