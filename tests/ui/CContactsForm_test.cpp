// The contact list window and its two dialogs over the running main window:
// links and row menu by the settings, placement at the screen's edges,
// deleting contacts and groups, writing to a contact from the tray's list and
// from a write-message window's picker, the online state, and the edit and
// mass-add dialogs' validation and saving.
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>
#include <QToolButton>
#include <QtTest>

#include <memory>

#include "storage/CvContactsManager.h"
#include "support/MainFormTestCase.h"
#include "support/TestContact.h"
#include "ui/CContactEditForm.h"
#include "ui/CContactMassAddForm.h"
#include "ui/CContactsForm.h"
#include "ui/CHistoryForm.h"
#include "ui/CMainForm.h"
#include "ui/CNewMsgForm.h"
#include "ui/CvContactLayout.h"
#include "ui/CvFormRegistry.h"
#include "widgets/CvCtrlList.h"
#include "widgets/CvListEdit.h"

namespace {

constexpr int kWait = 10000;

QStringList ListTexts(const CvCtrlList* list) {
    QStringList texts;
    for (int row = 0; row < list->RowCount(); ++row) {
        texts << list->RowText(row);
    }
    return texts;
}

int RowOf(const CvCtrlList* list, const QString& text) {
    return static_cast<int>(ListTexts(list).indexOf(text));
}

QStringList MenuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            texts << action->text() + (action->isEnabled() ? "" : " (off)");
        }
    }
    return texts;
}

void ClickRow(CvCtrlList* list, int row) {
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

std::vector<std::string> GroupNames(CvContactsManager& contacts) {
    std::vector<std::string> names;
    for (const CvContactGroup& group : contacts.Groups()) {
        names.push_back(group.name);
    }
    return names;
}

}  // namespace

class ContactsFormTest : public MainFormTestCase {
    Q_OBJECT

private:
    // Starts the main window with "Friends" (Bob, Carol) and "Work" (Dave,
    // the workgroup WG) in the contact list.
    CContactsForm* Start(const std::vector<std::string>& settings = {}) {
        if (!MainFormTestCase::Start(settings) || !m_main->Contacts() || !m_main->ContactList()) {
            return nullptr;
        }
        CvContactsManager& contacts = *m_main->Contacts();
        contacts.SaveContact(TestContact(kContactUser, "BOB", "Bob", "Friends"));
        contacts.SaveContact(TestContact(kContactUser, "CAROL", "Carol", "Friends"));
        contacts.SaveContact(TestContact(kContactUser, "DAVE", "Dave", "Work"));
        contacts.SaveContact(TestContact(kContactWorkgroup, "WG", "Our workgroup", "Work"));
        return m_main->ContactList();
    }

    QPoint ScreenCentre() const {
        return QGuiApplication::primaryScreen()->availableGeometry().center();
    }

private slots:
    void linksAndRowMenuFollowTheSettings_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("contactMenu");
        QTest::addColumn<QStringList>("groupMenu");
        const QString add = "Add new contact";
        const QString find = "Find users in network";
        const QString history = "View contacts history";
        QTest::newRow("defaults") << "" << QStringList{add, find, history}
                                  << QStringList{"Write message", "Edit contact info", history,
                                                 "Delete"}
                                  << QStringList{"Write message (off)", "Edit contact info (off)",
                                                 history + " (off)", "Delete"};
        QTest::newRow("editing disabled")
            << "ContactListDisableEdit" << QStringList{find, history}
            << QStringList{"Write message", "Edit contact info (off)", history, "Delete (off)"}
            << QStringList{"Write message (off)", "Edit contact info (off)", history + " (off)",
                           "Delete (off)"};
        QTest::newRow("sending disabled")
            << "MsgSendDisabled" << QStringList{add, find, history}
            << QStringList{"Write message (off)", "Edit contact info", history, "Delete"}
            << QStringList{"Write message (off)", "Edit contact info (off)", history + " (off)",
                           "Delete"};
        QTest::newRow("archive disabled")
            << "MsgArcDisabled" << QStringList{add, find}
            << QStringList{"Write message", "Edit contact info", "Delete"}
            << QStringList{"Write message (off)", "Edit contact info (off)", "Delete"};
        QTest::newRow("search disabled")
            << "ContactListDisableSearch" << QStringList{add, history}
            << QStringList{"Write message", "Edit contact info", history, "Delete"}
            << QStringList{"Write message (off)", "Edit contact info (off)", history + " (off)",
                           "Delete"};
    }

    void linksAndRowMenuFollowTheSettings() {
        QFETCH(QString, setting);
        QFETCH(QStringList, links);
        QFETCH(QStringList, contactMenu);
        QFETCH(QStringList, groupMenu);
        std::vector<std::string> settings;
        if (!setting.isEmpty()) {
            settings.push_back("\"" + setting.toStdString() + "\"=dword:00000001");
        }
        CContactsForm* form = Start(settings);
        QVERIFY(form != nullptr);
        QCOMPARE(ListTexts(form->ActionsList()), links);
        QCOMPARE(ListTexts(form->ContactsList()),
                 (QStringList{"Friends", "Bob", "Carol", "Work", "Dave", "Our workgroup"}));
        form->OpenRowMenu(RowOf(form->ContactsList(), "Carol"), {}, false);
        QCOMPARE(MenuTexts(form->RowMenu()), contactMenu);
        form->OpenRowMenu(RowOf(form->ContactsList(), "Work"), {}, false);
        QCOMPARE(MenuTexts(form->RowMenu()), groupMenu);
    }

    // The work area keeps 5 pixels from the screen's edges and its panels;
    // the window is pushed back in towards the bottom (right) edge first.
    void placementKeepsInsideTheWorkArea_data() {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("anchor");
        QTest::addColumn<int>("vertical");
        QTest::addColumn<int>("horizontal");
        QTest::addColumn<QPoint>("expected");
        const QSize size(260, 200);
        QTest::newRow("centred in the middle")
            << QRect(0, 0, 1280, 800) << size << QPoint(640, 400) << 16 << 16 << QPoint(510, 300);
        QTest::newRow("tray in a panel at the top")
            << QRect(0, 30, 1280, 770) << size << QPoint(1200, 12) << 16 << 16 << QPoint(1015, 35);
        QTest::newRow("tray in a panel at the bottom")
            << QRect(0, 0, 1280, 760) << size << QPoint(1200, 790) << 16 << 16 << QPoint(1015, 555);
        QTest::newRow("panel on the left")
            << QRect(48, 0, 1232, 800) << size << QPoint(20, 400) << 16 << 16 << QPoint(53, 300);
        QTest::newRow("picker near the right edge")
            << QRect(0, 0, 1280, 800) << size << QPoint(1270, 400) << 16 << 8 << QPoint(1015, 300);
        QTest::newRow("picker left edge at the anchor")
            << QRect(0, 0, 1280, 800) << size << QPoint(300, 400) << 16 << 8 << QPoint(300, 300);
        QTest::newRow("bottom and right edge at the anchor")
            << QRect(0, 0, 1280, 800) << size << QPoint(700, 500) << 1 << 4 << QPoint(440, 300);
        QTest::newRow("bottom at an anchor near the top")
            << QRect(0, 0, 1280, 800) << size << QPoint(700, 100) << 1 << 4 << QPoint(440, 5);
        QTest::newRow("taller than the work area shows its top")
            << QRect(0, 0, 1280, 800) << QSize(260, 900) << QPoint(640, 400) << 16 << 16
            << QPoint(510, 5);
        QTest::newRow("second screen to the right")
            << QRect(1280, 0, 1024, 768) << size << QPoint(2300, 760) << 16 << 16
            << QPoint(2039, 563);
    }

    void placementKeepsInsideTheWorkArea() {
        QFETCH(QRect, available);
        QFETCH(QSize, size);
        QFETCH(QPoint, anchor);
        QFETCH(int, vertical);
        QFETCH(int, horizontal);
        QFETCH(QPoint, expected);
        QCOMPARE(CvContactLayout::Position(CvContactLayout::WorkArea(available), size, anchor,
                                           vertical, horizontal),
                 expected);
    }

    // The window sizes itself to its rows, 260 wide, and asks its owner to
    // place it again when a contact is added while it is shown.
    void showsAtTheAnchorAndGrowsWithItsContent() {
        CContactsForm* form = Start();
        QVERIFY(form != nullptr);
        m_main->ShowContactList(nullptr, ScreenCentre(), 16, 16);
        QVERIFY(form->isVisible());
        QCOMPARE(form->width(), CContactsForm::kWidth);
        const QRect work =
            CvContactLayout::WorkArea(QGuiApplication::primaryScreen()->availableGeometry());
        QVERIFY(work.contains(form->geometry()));
        QCOMPARE(form->geometry().center().y(), ScreenCentre().y());
        const int height = form->height();
        QVERIFY(height >=
                form->ContactsList()->PreferredHeight() + form->ActionsList()->PreferredHeight());
        form->grab().save(QString(qgetenv("CORVANE_SCREENSHOTS")) + "contact-list.png");

        m_main->Contacts()->SaveContact(TestContact(kContactUser, "ERIN", "Erin", "Work"));
        QCOMPARE(RowOf(form->ContactsList(), "Erin"), 6);
        QTRY_COMPARE_WITH_TIMEOUT(form->height(), height + form->ContactsList()->RowHeight(),
                                  kWait);
        QCOMPARE(form->geometry().center().y(), ScreenCentre().y());

        // Closing only hides it; it stays the same window.
        form->close();
        QVERIFY(!form->isVisible());
        QCOMPARE(m_main->ContactList(), form);
    }

    void theEmptyListSaysSo() {
        QVERIFY(MainFormTestCase::Start() && m_main->ContactList());
        CContactsForm* form = m_main->ContactList();
        m_main->ShowContactList(nullptr, ScreenCentre(), 16, 16);
        QCOMPARE(form->ContactsList()->RowCount(), 0);
        QCOMPARE(form->ContactsList()->PreferredHeight(), form->ContactsList()->RowHeight());
        form->grab().save(QString(qgetenv("CORVANE_SCREENSHOTS")) + "contact-list-empty.png");
    }

    void losingActivationHidesIt() {
        CContactsForm* form = Start();
        QVERIFY(form != nullptr);
        QWidget other;
        other.resize(100, 100);
        other.show();
        m_main->ShowContactList(nullptr, ScreenCentre(), 16, 16);
        QVERIFY(QTest::qWaitForWindowActive(form));
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), kWait);
    }

    void groupsOpenAndCloseFromTheKeyboardAndTheMouse() {
        CContactsForm* form = Start();
        QVERIFY(form != nullptr);
        m_main->ShowContactList(nullptr, ScreenCentre(), 16, 16);
        CvCtrlList* list = form->ContactsList();
        list->setFocus();
        list->SetCurrentRow(0);
        QTest::keyClick(list, Qt::Key_Left);
        QCOMPARE(ListTexts(list), (QStringList{"Friends", "Work", "Dave", "Our workgroup"}));
        QCOMPARE(list->RowImage(0), 0);
        QTest::keyClick(list, Qt::Key_Plus, Qt::KeypadModifier);
        QCOMPARE(list->RowCount(), 6);
        QCOMPARE(list->RowImage(0), 1);
        // A click on a group line opens or closes it and writes to nobody.
        ClickRow(list, RowOf(list, "Work"));
        QCOMPARE(ListTexts(list), (QStringList{"Friends", "Bob", "Carol", "Work"}));
        QVERIFY(m_main->WriteWindows().empty());
        QVERIFY(form->isVisible());
        // Down, Down and Enter write to Bob.
        list->SetCurrentRow(-1);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->CurrentRow(), 1);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(m_main->WriteWindows().size(), size_t{1});
        QCOMPARE(m_main->WriteWindows()[0]->Recipients(),
                 (std::vector<CvRecipient>{{kRecipientUser, "BOB"}}));
    }

    void aClickOnAContactWritesToIt() {
        CContactsForm* form = Start();
        QVERIFY(form != nullptr);
        m_main->ShowContactList(nullptr, ScreenCentre(), 16, 16);
        ClickRow(form->ContactsList(), RowOf(form->ContactsList(), "Our workgroup"));
        QVERIFY(!form->isVisible());
        const auto windows = m_main->WriteWindows();
        QCOMPARE(windows.size(), size_t{1});
        QCOMPARE(windows[0]->Recipients(), (std::vector<CvRecipient>{{kRecipientWorkgroup, "WG"}}));
        QVERIFY(windows[0]->isVisible());
    }

    void withSendingDisabledAClickOnlyHidesTheList() {
        CContactsForm* form = Start({"\"MsgSendDisabled\"=dword:00000001"});
        QVERIFY(form != nullptr);
        m_main->ShowContactList(nullptr, ScreenCentre(), 16, 16);
        ClickRow(form->ContactsList(), RowOf(form->ContactsList(), "Bob"));
        QVERIFY(!form->isVisible());
        QVERIFY(m_main->WriteWindows().empty());
        form->Command(CContactsForm::kCmdWrite);
        QVERIFY(m_main->WriteWindows().empty());
    }

    void thePickerAddsTheContactToItsWriteWindow() {
        CContactsForm* form = Start();
        QVERIFY(form != nullptr);
        CNewMsgForm* write = m_main->OpenWriteMessage({{kRecipientUser, "DAVE"}});
        QVERIFY(write != nullptr);
        QTest::mouseClick(write->PickerButton(), Qt::LeftButton);
        QVERIFY(form->isVisible());
        QCOMPARE(form->Owner(), static_cast<QObject*>(write));
        QCOMPARE(form->Layout().HorizontalFlags(), CvContactLayout::kAlignLeft);
        QCOMPARE(form->Layout().VerticalFlags(), CvContactLayout::kAlignCentre);
        ClickRow(form->ContactsList(), RowOf(form->ContactsList(), "Carol"));
        QVERIFY(!form->isVisible());
        QCOMPARE(write->Recipients(),
                 (std::vector<CvRecipient>{{kRecipientUser, "DAVE"}, {kRecipientUser, "CAROL"}}));
        QCOMPARE(m_main->WriteWindows().size(), size_t{1});

        // Shown from the tray again, the list writes through the main window.
        m_main->Command(CMainForm::kCmdTrayClick);
        QCOMPARE(form->Owner(), static_cast<QObject*>(m_main.get()));
        ClickRow(form->ContactsList(), RowOf(form->ContactsList(), "Bob"));
        QCOMPARE(m_main->WriteWindows().size(), size_t{2});
        QCOMPARE(write->Recipients().size(), size_t{2});
    }

    void deleteAsksAndRemovesAContactOrAWholeGroup() {
        CContactsForm* form = Start();
        QVERIFY(form != nullptr);
        CvContactsManager& contacts = *m_main->Contacts();
        QStringList questions;
        QMessageBox::StandardButton answer = QMessageBox::Cancel;
        form->askDelete = [&](const QString& question) {
            questions << question;
            return answer;
        };
        CvCtrlList* list = form->ContactsList();

        list->SetCurrentRow(RowOf(list, "Dave"));
        form->Command(CContactsForm::kCmdDelete);
        QCOMPARE(questions, QStringList{"Delete selected item?"});
        QCOMPARE(list->RowCount(), 6);
        answer = QMessageBox::Yes;
        form->Command(CContactsForm::kCmdDelete);
        QCOMPARE(ListTexts(list),
                 (QStringList{"Friends", "Bob", "Carol", "Work", "Our workgroup"}));

        questions.clear();
        answer = QMessageBox::No;
        list->SetCurrentRow(RowOf(list, "Friends"));
        form->Command(CContactsForm::kCmdDelete);
        QCOMPARE(questions, QStringList{"Delete selected group and all its content?"});
        QCOMPARE(list->RowCount(), 5);
        answer = QMessageBox::Yes;
        form->Command(CContactsForm::kCmdDelete);
        QCOMPARE(ListTexts(list), (QStringList{"Work", "Our workgroup"}));
        // The file holds the same.
        contacts.Load();
        QCOMPARE(GroupNames(contacts), std::vector<std::string>{"Work"});
        QCOMPARE(contacts.Groups()[0].contacts.size(), size_t{1});

        // Beyond the rows nothing is asked.
        questions.clear();
        list->SetCurrentRow(-1);
        form->Command(CContactsForm::kCmdDelete);
        QVERIFY(questions.isEmpty());
    }

    void editingDisabledRefusesEditAndDeleteCommands() {
        CContactsForm* form = Start({"\"ContactListDisableEdit\"=dword:00000001"});
        QVERIFY(form != nullptr);
        bool asked = false;
        form->askDelete = [&asked](const QString&) {
            asked = true;
            return QMessageBox::Yes;
        };
        form->ContactsList()->SetCurrentRow(1);
        form->Command(CContactsForm::kCmdDelete);
        form->Command(CContactsForm::kCmdEdit);
        m_main->Command(CMainForm::kCmdNewContact);
        QVERIFY(!asked);
        QVERIFY(CvFormRegistry::Instance().Find("CContactEditForm") == nullptr);
    }

    // The presence thread marks the peers that answer online; the list shows
    // it without being touched.
    void theOnlineStateShowsInTheList() {
        CContactsForm* form = Start();
        QVERIFY(form != nullptr);
        CvContactsManager& contacts = *m_main->Contacts();
        contacts.SaveContact(TestContact(kContactUser, "NOBODY", "Nobody", "Friends"));
        m_main->ShowContactList(nullptr, ScreenCentre(), 16, 16);
        CvCtrlList* list = form->ContactsList();
        QCOMPARE(list->RowImage(RowOf(list, "Bob")), 5);
        contacts.StopPresence();
        contacts.SetPacing(10, 600000, 10);
        QVERIFY(contacts.StartPresence());
        QTRY_COMPARE_WITH_TIMEOUT(list->RowImage(RowOf(list, "Bob")), 3, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(contacts.PassCount() >= 1, 30000);
        QTest::qWait(50);
        QCOMPARE(list->RowImage(RowOf(list, "Nobody")), 5);
        form->grab().save(QString(qgetenv("CORVANE_SCREENSHOTS")) + "contact-list-online.png");
    }

    void contactHistoryOpensTheArchiveAtTheContact() {
        CContactsForm* form = Start();
        QVERIFY(form != nullptr);
        form->ContactsList()->SetCurrentRow(RowOf(form->ContactsList(), "Carol"));
        form->Command(CContactsForm::kCmdContactHistory);
        QVERIFY(m_main->ArchiveWindow() != nullptr);
        QCOMPARE(m_main->ArchiveWindow()->Correspondent(), (CvRecipient{kRecipientUser, "CAROL"}));
    }
};

QTEST_MAIN(ContactsFormTest)
#include "CContactsForm_test.moc"
