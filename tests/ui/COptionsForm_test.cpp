// The options dialog on the running main window: its tree and frame, pages
// that show again what was changed on them, OK that applies and saves, Cancel
// that drops every change, what each control writes, the hot key field,
// settings an administrator fixed, and the pages' texts fitting their
// controls (with pictures of every page when CORVANE_SCREENSHOT_DIR is set).
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>
#include <memory>

#include "app/CvAppPropertyEditor.h"
#include "app/CvAppSettingsTable.h"
#include "storage/CvPopupList.h"
#include "support/MainFormTestCase.h"
#include "support/TestEnv.h"
#include "ui/CHistoryForm.h"
#include "ui/CMainForm.h"
#include "ui/COptionsForm.h"
#include "ui/COptionsFormPgFonts.h"
#include "ui/COptionsFormPgHKDlg.h"
#include "ui/COptionsFormPgPopWndDlg.h"
#include "ui/CPopupMsgForm.h"
#include "ui/CvAppearance.h"
#include "ui/CvOptionsPage.h"
#include "widgets/CvDataSetGrid2.h"
#include "widgets/CvHotKeyEdit.h"
#include "widgets/CvRichEdit.h"

namespace Id = CvSettingId;

namespace {

// The nth control of a kind with a text on the page shown.
template <class T>
T* Control(COptionsForm* form, const QString& text, int nth = 0) {
    if (form->CurrentPage() == nullptr) {
        return nullptr;
    }
    for (T* control : form->CurrentPage()->findChildren<T*>()) {
        if (control->text() == text && nth-- == 0) {
            return control;
        }
    }
    return nullptr;
}

QString UserRegistry(const FakeDesktop& desktop) {
    QFile file(QString::fromStdString(desktop.Folder() + "/user.reg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

int Pending(COptionsForm* form, int32_t id) {
    return form->Editor().Get(id).GetInt();
}

}  // namespace

class OptionsFormTest : public MainFormTestCase {
    Q_OBJECT

private:
    COptionsForm* Open(const std::vector<std::string>& settings = {}) {
        if (!Start(settings)) {
            return nullptr;
        }
        m_main->Command(CMainForm::kCmdOptions);
        return m_main->OptionsWindow();
    }

    // Runs the window's deferred deletion after OK or Cancel.
    static void Settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

private slots:
    // "Change options..." opens one dialog with the tree of the pages; its
    // frame follows its size.
    void theTrayEntryOpensOneDialogWithItsTree() {
        QVERIFY(Start());
        QAction* entry = nullptr;
        for (QAction* action : m_main->TrayMenu()->actions()) {
            if (action->text() == "Change options...") {
                entry = action;
            }
        }
        QVERIFY(entry);
        entry->trigger();
        COptionsForm* form = m_main->OptionsWindow();
        QVERIFY(form);
        QVERIFY(form->isVisible());
        QCOMPARE(form->windowTitle(), QString("Options"));
        entry->trigger();
        QCOMPARE(m_main->OptionsWindow(), form);
        QCOMPARE(m_main->OpenOptions(), form);

        QStringList tree;
        for (int i = 0; i < form->Tree()->topLevelItemCount(); ++i) {
            QTreeWidgetItem* group = form->Tree()->topLevelItem(i);
            QString line = group->text(0) + ":";
            for (int j = 0; j < group->childCount(); ++j) {
                line += " " + group->child(j)->text(0) + ";";
            }
            tree << line;
        }
        QCOMPARE(tree,
                 (QStringList{"General: System;", "Interface: Appearance; Hot keys; Sound effects;",
                              "Behaviour: Tray icon; Popup window; Messages; Message "
                              "sending; Message receiving; Message archive;"}));
        QCOMPARE(form->CurrentTemplate(), COptionsForm::kPageSystem);
        QCOMPARE(form->Heading()->text(), QString("System"));
        QCOMPARE(form->OkButton()->text(), QString("OK"));
        QCOMPARE(form->CancelButton()->text(), QString("Cancel"));

        form->resize(700, 500);
        QTRY_COMPARE(form->Tree()->geometry(), QRect(7, 7, 183, 453));
        QCOMPARE(form->Heading()->geometry(), QRect(195, 7, 495, 20));
        QCOMPARE(form->OkButton()->geometry(), QRect(540, 470, 75, 25));
        QCOMPARE(form->CancelButton()->geometry(), QRect(620, 470, 75, 25));
        QCOMPARE(form->CurrentPage()->geometry(), QRect(200, 30, 500, 430));

        // Choosing a group keeps the page; choosing a page shows its heading.
        form->Tree()->setCurrentItem(form->Tree()->topLevelItem(2));
        QCOMPARE(form->CurrentTemplate(), COptionsForm::kPageSystem);
        form->Tree()->setCurrentItem(form->Tree()->topLevelItem(2)->child(1));
        QCOMPARE(form->CurrentTemplate(), COptionsForm::kPagePopup);
        QCOMPARE(form->Heading()->text(), QString("Popup message window"));
        QCOMPARE(form->findChildren<CvOptionsPage*>().size(), 1);
    }

    // An administrator's TrayMenuOptionsDisabled leaves the entry out.
    void theEntryCanBeDisabled() {
        QVERIFY(Start({"\"TrayMenuOptionsDisabled\"=dword:00000001"}));
        for (QAction* action : m_main->TrayMenu()->actions()) {
            QVERIFY(action->text() != "Change options...");
        }
        m_main->Command(CMainForm::kCmdOptions);
        QVERIFY(!m_main->OptionsWindow());
    }

    // By keyboard alone: the tree has the focus, typing a page's name shows
    // it, Tab leads through the page's controls to OK and Cancel, the arrow
    // keys choose within a radio group, and Return is OK.
    void theKeyboardReachesEveryControlInOrder() {
        COptionsForm* form = Open();
        QVERIFY(form);
        QVERIFY(QTest::qWaitForWindowActive(form));
        QCOMPARE(QApplication::focusWidget(), form->Tree());
        QTest::keyClicks(form->Tree(), "Message receiving");
        QCOMPARE(form->CurrentTemplate(), COptionsForm::kPageReceiving);

        QStringList order;
        for (int i = 0; i < 6; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->property("text").toString();
        }
        // A radio group is one stop, at its checked button.
        QCOMPARE(order, (QStringList{"Show message in popup window", "Sound notification",
                                     "Discard my own broadcast messages", "OK", "Cancel", ""}));
        QCOMPARE(QApplication::focusWidget(), form->Tree());

        QTest::keyClick(form->Tree(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget()->property("text").toString(),
                 QString("Open message archive"));
        QCOMPARE(Pending(form, Id::kRecvMsgMainAct), 2);
        QPointer<COptionsForm> window = form;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        Settle();
        QVERIFY(!window);
        QCOMPARE(m_main->Settings().Get(Id::kRecvMsgMainAct).GetInt(), 2);
        QVERIFY(UserRegistry(*m_desktop).contains("\"RecvMsgMainAct\"=dword:00000002"));
    }

    void aChangeShowsAgainWhenItsPageIsShownAgain() {
        COptionsForm* form = Open();
        QVERIFY(form);
        QVERIFY(form->SelectPage(COptionsForm::kPageTray));
        Control<QRadioButton>(form, "Message archive")->click();
        QVERIFY(form->SelectPage(COptionsForm::kPagePopup));
        auto* popup = qobject_cast<COptionsFormPgPopWndDlg*>(form->CurrentPage());
        QVERIFY(popup);
        Control<QRadioButton>(form, "Manually")->click();
        QVERIFY(!popup->DeadlineBox()->isEnabled());
        Control<QRadioButton>(form, "At expiration of")->click();
        QVERIFY(popup->DeadlineBox()->isEnabled());
        popup->DeadlineBox()->setValue(25);
        Control<QCheckBox>(form, "Remove read messages")->click();

        QVERIFY(form->SelectPage(COptionsForm::kPageTray));
        QVERIFY(Control<QRadioButton>(form, "Message archive")->isChecked());
        QVERIFY(!Control<QRadioButton>(form, "Contact list")->isChecked());
        QVERIFY(form->SelectPage(COptionsForm::kPagePopup));
        popup = qobject_cast<COptionsFormPgPopWndDlg*>(form->CurrentPage());
        QCOMPARE(popup->DeadlineBox()->value(), 25);
        QVERIFY(!Control<QCheckBox>(form, "Remove read messages")->isChecked());
        // Nothing reached the settings yet.
        QCOMPARE(m_main->Settings().Get(Id::kTrayLeftMouseBtn).GetInt(), 1);
        QCOMPARE(m_main->Settings().Get(Id::kRecvMsgPopWndDeadline).GetInt(), 10);
    }

    void cancelLeavesEverySettingAsItWas() {
        COptionsForm* form = Open();
        QVERIFY(form);
        const auto before = m_main->Settings().Values();
        const QString stored = UserRegistry(*m_desktop);
        form->askSoundFile = [](const QString&) { return QString("/sounds/ding.wav"); };
        form->askColor = [](const QColor&) { return std::optional<QColor>(Qt::red); };

        QVERIFY(form->SelectPage(COptionsForm::kPageSound));
        Control<QCheckBox>(form, "Enable sound effects")->click();
        Control<QPushButton>(form, "Browse")->click();
        QVERIFY(form->SelectPage(COptionsForm::kPageAppearance));
        Control<QCheckBox>(form, "Enable custom appearance settings")->click();
        auto* fonts = qobject_cast<COptionsFormPgFonts*>(form->CurrentPage());
        fonts->ColorButton()->click();
        QVERIFY(form->SelectPage(COptionsForm::kPageHotKeys));
        Control<QCheckBox>(form, "Enable hot keys")->click();
        auto* keys = qobject_cast<COptionsFormPgHKDlg*>(form->CurrentPage());
        QTest::keyClick(keys->KeyField(), Qt::Key_W, Qt::ControlModifier | Qt::AltModifier);
        keys->SetButton()->click();
        QVERIFY(form->SelectPage(COptionsForm::kPageReceiving));
        Control<QRadioButton>(form, "Do nothing")->click();
        QVERIFY(form->Editor().Get(Id::kSoundEventIncMsgBcast).GetText() == "/sounds/ding.wav");
        QCOMPARE(Pending(form, Id::kRecvMsgMainAct), 3);

        QPointer<COptionsForm> window = form;
        form->CancelButton()->click();
        Settle();
        QVERIFY(!window);
        QVERIFY(m_main->Settings().Values() == before);
        QCOMPARE(UserRegistry(*m_desktop), stored);
        QVERIFY(!m_desktop->hotKeys.IsGrabbed(CMainForm::kHotKeyWriteNewMsg));

        // Escape cancels too.
        form = m_main->OpenOptions();
        QVERIFY(form);
        QVERIFY(form->SelectPage(COptionsForm::kPageArchive));
        Control<QCheckBox>(form, "Always on top")->click();
        window = form;
        QTest::keyClick(form, Qt::Key_Escape);
        Settle();
        QVERIFY(!window);
        QVERIFY(m_main->Settings().Values() == before);
    }

    void okWithoutChangesSavesEverySetting() {
        COptionsForm* form = Open();
        QVERIFY(form);
        const auto before = m_main->Settings().Values();
        QVERIFY(!UserRegistry(*m_desktop).contains("\"SoundEnabled\""));
        QPointer<COptionsForm> window = form;
        form->OkButton()->click();
        Settle();
        QVERIFY(!window);
        const QString stored = UserRegistry(*m_desktop);
        QVERIFY2(stored.contains("\"SoundEnabled\"=dword:00000000"), qPrintable(stored));
        QVERIFY(stored.contains("\"MsgArcCurRowHighlight\"=\"color=004080, bkcolor=fffff0\""));
        // Settings only an administrator sets stay out of the user's store.
        QVERIFY(!stored.contains("\"NetMsgSendTimeout\""));
        QVERIFY(m_main->Settings().Values() == before);
    }

    // The field records what is pressed in the stored form; "Set" stores it
    // for the selected action, and OK grabs it at once.
    void theHotKeyFieldRecordsCombinations() {
        COptionsForm* form = Open();
        QVERIFY(form);
        QVERIFY(form->SelectPage(COptionsForm::kPageHotKeys));
        auto* page = qobject_cast<COptionsFormPgHKDlg*>(form->CurrentPage());
        QVERIFY(page);
        CvHotKeyEdit* field = page->KeyField();
        QVERIFY(page->ActionList()->isEnabled());
        QVERIFY(!page->findChild<QLabel*>("Unavailable"));

        struct Press {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            int32_t value;  // -1: the field keeps what it had
            const char* shown;
        };
        const Press presses[] = {
            {Qt::Key_M, Qt::ControlModifier | Qt::AltModifier, 0x64D, "Ctrl + Alt + M"},
            {Qt::Key_F5, Qt::NoModifier, 0x74, "F5"},
            {Qt::Key_A, Qt::NoModifier, -1, "F5"},  // would swallow typing
            {Qt::Key_A, Qt::ShiftModifier, -1, "F5"},
            {Qt::Key_Exclam, Qt::ControlModifier | Qt::ShiftModifier, 0x331, "Ctrl + Shift + 1"},
            {Qt::Key_Up, Qt::ControlModifier, 0xA26, "Ctrl + Up"},
            {Qt::Key_8, Qt::AltModifier | Qt::KeypadModifier, 0x468, "Alt + Num 8"},
            // Keys pressed to leave or move in the field, and any other key
            // but a function key, are no hot key without Ctrl or Alt: as a
            // desktop-wide grab they would take the key from every program.
            {Qt::Key_Escape, Qt::NoModifier, -1, "Alt + Num 8"},
            {Qt::Key_Return, Qt::NoModifier, -1, "Alt + Num 8"},
            {Qt::Key_Enter, Qt::KeypadModifier, -1, "Alt + Num 8"},
            {Qt::Key_Left, Qt::NoModifier, -1, "Alt + Num 8"},
            {Qt::Key_Down, Qt::ShiftModifier, -1, "Alt + Num 8"},
            {Qt::Key_Space, Qt::NoModifier, -1, "Alt + Num 8"},
            {Qt::Key_Home, Qt::NoModifier, -1, "Alt + Num 8"},
            {Qt::Key_Pause, Qt::ShiftModifier, -1, "Alt + Num 8"},
            {Qt::Key_F12, Qt::ShiftModifier, 0x17B, "Shift + F12"},
            {Qt::Key_Escape, Qt::ControlModifier | Qt::AltModifier, 0x61B, "Ctrl + Alt + Esc"},
            {Qt::Key_Backspace, Qt::NoModifier, 0, ""},
            {Qt::Key_M, Qt::ControlModifier | Qt::AltModifier, 0x64D, "Ctrl + Alt + M"},
        };
        int32_t expected = 0;
        for (const Press& press : presses) {
            QTest::keyClick(field, press.key, press.modifiers);
            expected = press.value >= 0 ? press.value : expected;
            QCOMPARE(field->Value(), expected);
            QCOMPARE(field->text(), QString(press.shown));
        }
        // Only the held modifiers while no key is pressed.
        QTest::keyPress(field, Qt::Key_Control, Qt::ControlModifier);
        QCOMPARE(field->text(), QString("Ctrl + "));
        QTest::keyRelease(field, Qt::Key_Control, Qt::ControlModifier);
        QCOMPARE(field->text(), QString("Ctrl + Alt + M"));

        QCOMPARE(Pending(form, Id::kHotKeyWriteNewMsg), 0);
        page->SetButton()->click();
        QCOMPARE(Pending(form, Id::kHotKeyWriteNewMsg), 0x64D);
        QCOMPARE(page->ActionList()->topLevelItem(0)->text(1), QString("Ctrl + Alt + M"));
        page->ActionList()->setCurrentItem(page->ActionList()->topLevelItem(3));
        QCOMPARE(field->Value(), 0);
        Control<QCheckBox>(form, "Enable hot keys")->click();

        form->OkButton()->click();
        QCOMPARE(m_main->Settings().Get(Id::kHotKeyWriteNewMsg).GetInt(), 0x64D);
        QVERIFY(m_desktop->hotKeys.IsGrabbed(CMainForm::kHotKeyWriteNewMsg));
        QCOMPARE(m_desktop->hotKeys.VirtualKey(CMainForm::kHotKeyWriteNewMsg), uint8_t{0x4D});
        QVERIFY(UserRegistry(*m_desktop).contains("\"HotKeyWriteNewMsg\"=dword:0000064d"));
    }

    void withoutGlobalKeysTheHotKeyPageSaysWhy() {
        m_desktop->SetHotKeysAvailable(false);
        COptionsForm* form = Open();
        QVERIFY(form);
        QVERIFY(form->SelectPage(COptionsForm::kPageHotKeys));
        auto* page = qobject_cast<COptionsFormPgHKDlg*>(form->CurrentPage());
        auto* why = page->findChild<QLabel*>("Unavailable");
        QVERIFY(why);
        QCOMPARE(why->text().toStdString(), m_main->HotKeysUnavailable());
        QVERIFY(!page->ActionList()->isEnabled());
        QVERIFY(!page->KeyField()->isEnabled());
        QVERIFY(!page->SetButton()->isEnabled());
    }

    // Radio buttons store their value when clicked; each group's buttons
    // are clicked away from the default first.
    void eachRadioGroupWritesItsValue() {
        COptionsForm* form = Open();
        QVERIFY(form);
        struct Row {
            int page;
            int32_t id;
            const char* text;
            int32_t value;
        };
        const Row rows[] = {
            {COptionsForm::kPageTray, Id::kTrayLeftMouseBtn, "Popup message window", 3},
            {COptionsForm::kPageTray, Id::kTrayLeftMouseBtn, "Message archive", 2},
            {COptionsForm::kPageTray, Id::kTrayLeftMouseBtn, "Contact list", 1},
            {COptionsForm::kPagePopup, Id::kRecvMsgPopWndAutoclose, "Manually", 0},
            {COptionsForm::kPagePopup, Id::kRecvMsgPopWndAutoclose, "At expiration of", 1},
            {COptionsForm::kPageMessages, Id::kMessagesHandleLinks, "Any protocol", 2},
            {COptionsForm::kPageMessages, Id::kMessagesHandleLinks, "Disabled", 0},
            {COptionsForm::kPageMessages, Id::kMessagesHandleLinks,
             "Standard protocols only (http, https, ftp, mailto)", 1},
            {COptionsForm::kPageSending, Id::kUserSignMsgWith, "Computer name", 2},
            {COptionsForm::kPageSending, Id::kUserSignMsgWith, "User name", 1},
            {COptionsForm::kPageReceiving, Id::kRecvMsgMainAct, "Do nothing", 3},
            {COptionsForm::kPageReceiving, Id::kRecvMsgMainAct, "Open message archive", 2},
            {COptionsForm::kPageReceiving, Id::kRecvMsgMainAct, "Show message in popup window", 1},
        };
        for (const Row& row : rows) {
            QVERIFY(form->SelectPage(row.page));
            auto* button = Control<QRadioButton>(form, row.text);
            QVERIFY2(button, row.text);
            button->click();
            QVERIFY2(Pending(form, row.id) == row.value, row.text);
            QVERIFY(button->isChecked());
        }
    }

    // Check boxes store 1 or 0 when clicked.
    void eachCheckBoxWritesItsSetting() {
        COptionsForm* form = Open();
        QVERIFY(form);
        struct Row {
            int page;
            int32_t id;
            const char* text;
            int nth;
        };
        const Row rows[] = {
            {COptionsForm::kPageAppearance, Id::kAppearanceEnabled,
             "Enable custom appearance settings", 0},
            {COptionsForm::kPageHotKeys, Id::kHotKeyEnabled, "Enable hot keys", 0},
            {COptionsForm::kPageSound, Id::kSoundEnabled, "Enable sound effects", 0},
            {COptionsForm::kPagePopup, Id::kPopupMsgWndOpenAtNewest,
             "Open the window at newest message", 0},
            {COptionsForm::kPagePopup, Id::kPopupMsgWndMarkReadWhenShown,
             "Mark message as read when shown", 0},
            {COptionsForm::kPagePopup, Id::kPopupMsgWndKeepUntilRead,
             "Keep on the screen until all messages are read", 0},
            {COptionsForm::kPagePopup, Id::kPopupMsgWndRemoveReadMsg, "Remove read messages", 0},
            {COptionsForm::kPageMessages, Id::kMessagesLargeBcastEnabled,
             "Enable enlarged broadcast messages", 0},
            {COptionsForm::kPageSending, Id::kMsgSendSuccessSoundNotify, "Sound notification", 0},
            {COptionsForm::kPageSending, Id::kMsgSendFailTextNotify, "Text notification", 0},
            {COptionsForm::kPageSending, Id::kMsgSendFailSoundNotify, "Sound notification", 1},
            {COptionsForm::kPageSending, Id::kMsgSendEnableMsgFragment,
             "Split large broadcast messages into smaller parts", 0},
            {COptionsForm::kPageReceiving, Id::kRecvMsgSoundNotify, "Sound notification", 0},
            {COptionsForm::kPageReceiving, Id::kRecvMsgDiscardOwnBcMsg,
             "Discard my own broadcast messages", 0},
            {COptionsForm::kPageArchive, Id::kMsgArcOnTop, "Always on top", 0},
        };
        for (const Row& row : rows) {
            QVERIFY(form->SelectPage(row.page));
            auto* box = Control<QCheckBox>(form, row.text, row.nth);
            QVERIFY2(box, row.text);
            const int32_t stored = m_main->Settings().Get(row.id).GetInt();
            QCOMPARE(box->isChecked(), stored != 0);
            box->click();
            QVERIFY2(Pending(form, row.id) == (stored != 0 ? 0 : 1), row.text);
            box->click();
            QVERIFY2(Pending(form, row.id) == (stored != 0 ? 1 : 0), row.text);
        }
    }

    void thePopupDeadlineIsWrittenAsTyped() {
        COptionsForm* form = Open();
        QVERIFY(form);
        QVERIFY(form->SelectPage(COptionsForm::kPagePopup));
        auto* page = qobject_cast<COptionsFormPgPopWndDlg*>(form->CurrentPage());
        QLineEdit* edit = page->DeadlineBox()->findChild<QLineEdit*>();
        edit->selectAll();
        QTest::keyClicks(edit, "42");
        QCOMPARE(Pending(form, Id::kRecvMsgPopWndDeadline), 42);
        form->OkButton()->click();
        QCOMPARE(m_main->Settings().Get(Id::kRecvMsgPopWndDeadline).GetInt(), 42);
        QVERIFY(UserRegistry(*m_desktop).contains("\"RecvMsgPopWndDeadline\"=dword:0000002a"));
    }

    // The file of the selected event: chosen, typed, and played.
    void theSoundPageSetsAndPlaysEventFiles() {
        COptionsForm* form = Open();
        QVERIFY(form);
        QString offered;
        form->askSoundFile = [&offered](const QString& current) {
            offered = current;
            return QString("/sounds/private.wav");
        };
        QVERIFY(form->SelectPage(COptionsForm::kPageSound));
        auto* page = qobject_cast<COptionsFormDlgSound*>(form->CurrentPage());
        QTreeWidget* events = page->EventList();
        QCOMPARE(events->topLevelItemCount(), 4);
        QCOMPARE(events->topLevelItem(1)->text(0), QString("Personal message"));
        events->setCurrentItem(events->topLevelItem(1));
        page->BrowseButton()->click();
        QCOMPARE(form->Editor().Get(Id::kSoundEventIncMsgPriv).GetText(),
                 std::string("/sounds/private.wav"));
        QCOMPARE(events->topLevelItem(1)->text(1), QString("/sounds/private.wav"));

        events->setCurrentItem(events->topLevelItem(3));
        QVERIFY(page->FileField()->text().isEmpty());
        QTest::keyClicks(page->FileField(), "/sounds/fail.wav");
        QCOMPARE(form->Editor().Get(Id::kSoundEventSendFail).GetText(),
                 std::string("/sounds/fail.wav"));
        page->PlayButton()->click();
        QCOMPARE(m_desktop->sounds.Played(), std::vector<std::string>{"/sounds/fail.wav"});

        events->setCurrentItem(events->topLevelItem(1));
        QCOMPARE(page->FileField()->text(), QString("/sounds/private.wav"));
        page->BrowseButton()->click();
        QCOMPARE(offered, QString("/sounds/private.wav"));
    }

    // Fonts and colours go into the compound texts, keeping other pairs.
    void theAppearancePageWritesCompoundTexts() {
        COptionsForm* form = Open();
        QVERIFY(form);
        QFont offered;
        form->askFont = [&offered](const QFont& current) {
            offered = current;
            QFont chosen("DejaVu Serif");
            chosen.setPointSize(14);
            return std::optional<QFont>(chosen);
        };
        QColor next = Qt::red;
        form->askColor = [&next](const QColor&) { return std::optional<QColor>(next); };
        QVERIFY(form->SelectPage(COptionsForm::kPageAppearance));
        auto* page = qobject_cast<COptionsFormPgFonts*>(form->CurrentPage());
        QVERIFY(!page->FontButton()->isEnabled());
        Control<QCheckBox>(form, "Enable custom appearance settings")->click();
        QVERIFY(page->FontButton()->isEnabled());
        QCOMPARE(page->Sample()->text(), QString("AaBbCcXxYyZz"));

        page->Select(COptionsFormPgFonts::kPopupWindow, COptionsFormPgFonts::kMessageText);
        page->FontButton()->click();
        page->ColorButton()->click();
        QCOMPARE(form->Editor().Get(Id::kPopupMsgWndFontMsgText).GetText(),
                 std::string("name=DejaVu Serif, size=14, color=0000ff"));
        QCOMPARE(page->FontName()->text(), QString("DejaVu Serif"));
        QCOMPARE(page->FontSize()->text(), QString("14"));
        QCOMPARE(page->Sample()->font().pointSize(), 14);
        QCOMPARE(page->Sample()->palette().color(QPalette::WindowText), QColor(Qt::red));

        page->Select(COptionsFormPgFonts::kArchiveWindow, COptionsFormPgFonts::kRowHighlight);
        QVERIFY(!page->FontButton()->isVisible());
        QVERIFY(page->BackgroundButton()->isVisible());
        next = QColor(0x12, 0x34, 0x56);
        page->ColorButton()->click();
        QCOMPARE(form->Editor().Get(Id::kMsgArcCurRowHighlight).GetText(),
                 std::string("color=563412, bkcolor=fffff0"));
        next = Qt::black;
        page->BackgroundButton()->click();
        QCOMPARE(form->Editor().Get(Id::kMsgArcCurRowHighlight).GetText(),
                 std::string("color=563412, bkcolor=000000"));
        QCOMPARE(page->Sample()->palette().color(QPalette::Window), QColor(Qt::black));

        // The archive's message font is its own setting; leaving and coming
        // back shows what was chosen for the popup.
        page->Select(COptionsFormPgFonts::kArchiveWindow, COptionsFormPgFonts::kMessageText);
        QVERIFY(form->Editor().Get(Id::kMsgArcFontMsgText).GetText().empty());
        QVERIFY(form->SelectPage(COptionsForm::kPageTray));
        QVERIFY(form->SelectPage(COptionsForm::kPageAppearance));
        page = qobject_cast<COptionsFormPgFonts*>(form->CurrentPage());
        QCOMPARE(page->FontName()->text(), QString("DejaVu Serif"));
        page->FontButton()->click();
        QCOMPARE(offered.family(), QString("DejaVu Serif"));
        QCOMPARE(offered.pointSize(), 14);
    }

    // Every window reads the appearance settings the same way: what the
    // setting leaves out or gives out of range keeps the window's own font.
    void theAppearanceSettingsReadOneWay() {
        QFont base(QStringLiteral("Sans"));
        base.setPointSize(9);
        const struct {
            const char* setting;
            const char* family;
            int points;
            QColor text;
        } cases[] = {
            {"name=Serif, size=14, color=004080", "Serif", 14, QColor(0x80, 0x40, 0x00)},
            {"size=99", "Sans", 99, QColor()},
            {"size=100", "Sans", 9, QColor()},
            {"size=0, name=", "Sans", 9, QColor()},
            {"size=-3", "Sans", 9, QColor()},
            {"size=12.5", "Sans", 9, QColor()},
            {"size=1x", "Sans", 9, QColor()},
            {"color=nothing", "Sans", 9, QColor()},
            {"", "Sans", 9, QColor()},
        };
        for (const auto& c : cases) {
            const QFont font = CvAppearance::Font(c.setting, base);
            QCOMPARE(font.family(), QString(c.family));
            QCOMPARE(font.pointSize(), c.points);
            QCOMPARE(CvAppearance::Color(c.setting, "color").value_or(QColor()), c.text);
        }
        for (const QColor& color :
             {QColor(0x12, 0x34, 0x56), QColor(Qt::white), QColor(Qt::black)}) {
            QCOMPARE(CvAppearance::FromColorRef(CvAppearance::ToColorRef(color)), color);
        }
        QCOMPARE(CvAppearance::ToColorRef(QColor(0x12, 0x34, 0x56)), uint32_t{0x563412});
    }

    // The "Message text" colours chosen here are what the popup and the
    // archive window write their messages in; turning custom appearance off
    // takes them back.
    void theMessageTextColoursReachTheWindows() {
        COptionsForm* form = Open();
        QVERIFY(form);
        QColor next = QColor(0x80, 0x00, 0x20);
        form->askColor = [&next](const QColor&) { return std::optional<QColor>(next); };
        QVERIFY(form->SelectPage(COptionsForm::kPageAppearance));
        auto* page = qobject_cast<COptionsFormPgFonts*>(form->CurrentPage());
        Control<QCheckBox>(form, "Enable custom appearance settings")->click();
        page->Select(COptionsFormPgFonts::kPopupWindow, COptionsFormPgFonts::kMessageText);
        page->ColorButton()->click();
        next = QColor(0x00, 0x60, 0x30);
        page->Select(COptionsFormPgFonts::kArchiveWindow, COptionsFormPgFonts::kMessageText);
        page->ColorButton()->click();
        form->OkButton()->click();
        Settle();

        m_main->ShowPopup(false, CvPopupList::kOpenDefault);
        QVERIFY(m_main->Popup() != nullptr && m_main->Popup()->TextArea() != nullptr);
        QCOMPARE(m_main->Popup()->TextArea()->TextColor(), QColor(0x80, 0x00, 0x20));
        CHistoryForm* archive = m_main->OpenArchive(-1);
        QVERIFY(archive != nullptr);
        for (CvDataSetGrid2* grid : {archive->DialogueGrid(), archive->MessageGrid()}) {
            QCOMPARE(grid->TextView()->TextColor(), QColor(0x00, 0x60, 0x30));
        }

        CvAppPropertyEditor editor(m_main->Settings());
        editor.Set(Id::kAppearanceEnabled, CvPropertyValue::Integer(0));
        editor.Commit();
        QTRY_VERIFY_WITH_TIMEOUT(
            archive->DialogueGrid()->TextView()->TextColor() != QColor(0x00, 0x60, 0x30), 5000);
        m_main->ShowPopup(false, CvPopupList::kOpenDefault);
        QVERIFY(m_main->Popup()->TextArea()->TextColor() != QColor(0x80, 0x00, 0x20));
    }

    // The language files with their translator and version; the autostart
    // state and its change.
    void theSystemPageListsLanguagesAndAutostart() {
        const std::string folder = m_desktop->Folder() + "/program/language";
        std::filesystem::create_directories(folder);
        WriteFileText(folder + "/testish.lng",
                      "[Info]\nLanguageName=Testish\nTranslator=T. Ester\nProductVersion=3.1\n");
        COptionsForm* form = Open();
        QVERIFY(form);
        int changes = 0;
        // The change ends later (as when the administrator's password is
        // asked for): "Change" waits for it.
        std::function<void()> finish;
        form->changeAutostart = [form, &changes, &finish](std::function<void()> finished) {
            ++changes;
            finish = [form, finished = std::move(finished)] {
                form->Editor().Set(Id::kAutoStart, CvPropertyValue::Integer(2));
                finished();
            };
        };
        QVERIFY(form->SelectPage(COptionsForm::kPageTray));
        QVERIFY(form->SelectPage(COptionsForm::kPageSystem));
        auto* page = qobject_cast<COptionsFormPgGenDlg*>(form->CurrentPage());
        QVERIFY(page);
        QCOMPARE(page->AutostartState()->text(), QString("Disabled"));
        QVERIFY(page->ChangeButton()->isEnabled());
        page->ChangeButton()->click();
        QCOMPARE(changes, 1);
        QVERIFY(!page->ChangeButton()->isEnabled());
        page->ChangeButton()->click();
        QCOMPARE(changes, 1);
        QCOMPARE(page->AutostartState()->text(), QString("Disabled"));
        finish();
        QVERIFY(page->ChangeButton()->isEnabled());
        QCOMPARE(page->AutostartState()->text(), QString("Enabled for all users of this computer"));

        QListWidget* languages = page->LanguageList();
        QCOMPARE(languages->count(), 2);
        QCOMPARE(languages->item(1)->text(), QString("Testish"));
        QCOMPARE(languages->currentRow(), 0);
        languages->setCurrentRow(1);
        QCOMPARE(form->Editor().Get(Id::kSysLanguageFile).GetText(), std::string("testish.lng"));
        QCOMPARE(page->LanguageInfo()->text(), QString("Translator: T. Ester\nVersion: 3.1"));
        QVERIFY(page->findChild<QLabel*>("RestartNote")->text().startsWith("Note: restart"));
        languages->setCurrentRow(0);
        QVERIFY(form->Editor().Get(Id::kSysLanguageFile).GetText().empty());
    }

    // What an administrator fixed is shown disabled with the reason and
    // cannot be changed from the page.
    void aLockedSettingIsShownDisabled() {
        QVERIFY(COptionsForm::IsAdministratorSetting(Id::kTrayIconDisabled));
        QVERIFY(COptionsForm::IsAdministratorSetting(Id::kNetMsgSendTimeout));
        QVERIFY(!COptionsForm::IsAdministratorSetting(Id::kSoundEnabled));
        QVERIFY(!COptionsForm::IsAdministratorSetting(Id::kAutoStart));

        COptionsForm* form = Open();
        QVERIFY(form);
        form->isLocked = [](int32_t id) {
            return id == Id::kSoundEnabled || id == Id::kTrayLeftMouseBtn ||
                   id == Id::kSoundEventIncMsgBcast;
        };
        QVERIFY(form->SelectPage(COptionsForm::kPageSound));
        auto* box = Control<QCheckBox>(form, "Enable sound effects");
        QVERIFY(!box->isEnabled());
        QCOMPARE(box->toolTip(), CvOptionsPage::LockedText());
        auto* note = form->CurrentPage()->findChild<QLabel*>("LockNote");
        QVERIFY(note->isVisible());
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(form->Editor().Get(Id::kSoundEnabled) == m_main->Settings().Get(Id::kSoundEnabled));
        auto* sound = qobject_cast<COptionsFormDlgSound*>(form->CurrentPage());
        QVERIFY(!sound->FileField()->isEnabled());
        sound->EventList()->setCurrentItem(sound->EventList()->topLevelItem(1));
        QVERIFY(sound->FileField()->isEnabled());

        QVERIFY(form->SelectPage(COptionsForm::kPageTray));
        for (QRadioButton* button : form->CurrentPage()->findChildren<QRadioButton*>()) {
            QVERIFY(!button->isEnabled());
        }
        QVERIFY(form->SelectPage(COptionsForm::kPageMessages));
        QVERIFY(!form->CurrentPage()->findChild<QLabel*>("LockNote")->isVisible());
        QVERIFY(Control<QRadioButton>(form, "Any protocol")->isEnabled());
    }

    // Every text fits its control on every page at the dialog's first size;
    // with CORVANE_SCREENSHOT_DIR set, each page is saved as a picture.
    void everyPageFitsItsTexts() {
        COptionsForm* form = Open();
        QVERIFY(form);
        QVERIFY(QTest::qWaitForWindowExposed(form));
        const QString pictures = qEnvironmentVariable("CORVANE_SCREENSHOT_DIR");
        const int pages[] = {COptionsForm::kPageSystem,    COptionsForm::kPageAppearance,
                             COptionsForm::kPageHotKeys,   COptionsForm::kPageSound,
                             COptionsForm::kPageTray,      COptionsForm::kPagePopup,
                             COptionsForm::kPageMessages,  COptionsForm::kPageSending,
                             COptionsForm::kPageReceiving, COptionsForm::kPageArchive};
        for (const int id : pages) {
            QVERIFY(form->SelectPage(id));
            QCoreApplication::processEvents();
            CvOptionsPage* page = form->CurrentPage();
            for (QWidget* control : page->findChildren<QWidget*>()) {
                if (!control->isVisible()) {
                    continue;
                }
                const QString what = QString("page %1: %2 \"%3\"")
                                         .arg(id)
                                         .arg(control->metaObject()->className())
                                         .arg(control->property("text").toString());
                // Inside the page, and as large as its text needs.
                const QRect inPage(control->mapTo(page, QPoint(0, 0)), control->size());
                QVERIFY2(page->rect().contains(inPage), qPrintable(what));
                auto* label = qobject_cast<QLabel*>(control);
                if (qobject_cast<QAbstractButton*>(control) ||
                    (label != nullptr && !label->wordWrap())) {
                    QVERIFY2(control->width() >= control->minimumSizeHint().width(),
                             qPrintable(what));
                }
                if (label != nullptr && label->wordWrap()) {
                    QVERIFY2(label->height() >= label->heightForWidth(label->width()),
                             qPrintable(what));
                }
            }
            if (!pictures.isEmpty()) {
                QDir().mkpath(pictures);
                QVERIFY(form->grab().save(QString("%1/options-%2-%3.png")
                                              .arg(pictures)
                                              .arg(id)
                                              .arg(QGuiApplication::platformName())));
            }
        }
    }
};

QTEST_MAIN(OptionsFormTest)
#include "COptionsForm_test.moc"
