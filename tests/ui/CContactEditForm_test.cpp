// The contact edit and mass-add dialogs: what they show for a new, a
// pre-filled and an existing contact, the validation messages that keep the
// dialog open, and what saving stores in the contact list.
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

#include "storage/CvContactsManager.h"
#include "support/MainFormTestCase.h"
#include "support/TestContact.h"
#include "ui/CContactEditForm.h"
#include "ui/CContactMassAddForm.h"
#include "ui/CMainForm.h"
#include "ui/CvFormRegistry.h"

namespace {

// The contacts as "kind name display group" lines, in list order.
QStringList Lines(CvContactsManager& contacts) {
    QStringList lines;
    for (const CvContactGroup& group : contacts.Groups()) {
        for (const CvContact& contact : group.contacts) {
            lines << QString("%1 %2 %3 %4")
                         .arg(contact.conttype)
                         .arg(QString::fromStdString(contact.name),
                              QString::fromStdString(contact.displayname),
                              QString::fromStdString(contact.groupname));
        }
    }
    return lines;
}

}  // namespace

class ContactEditFormTest : public MainFormTestCase {
    Q_OBJECT

private:
    CvContactsManager* Start() {
        if (!MainFormTestCase::Start() || !m_main->Contacts()) {
            return nullptr;
        }
        m_main->Contacts()->SaveContact(TestContact(kContactUser, "BOB", "Bob", "Friends"));
        return m_main->Contacts();
    }

private slots:
    void badInputIsRefusedAndTheDialogKeepsIt_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("message");
        QTest::newRow("no recipient") << ""
                                      << "Carol"
                                      << "Friends"
                                      << "Recipient name not specified!";
        QTest::newRow("recipient of spaces") << "   "
                                             << "Carol"
                                             << "Friends"
                                             << "Recipient name not specified!";
        QTest::newRow("display name of spaces") << "CAROL"
                                                << "    "
                                                << "Friends"
                                                << "Display name not specified!";
        QTest::newRow("group of spaces") << "CAROL"
                                         << "Carol"
                                         << "  "
                                         << "Group name not specified!";
    }

    void badInputIsRefusedAndTheDialogKeepsIt() {
        QFETCH(QString, name);
        QFETCH(QString, display);
        QFETCH(QString, group);
        QFETCH(QString, message);
        CvContactsManager* contacts = Start();
        QVERIFY(contacts != nullptr);
        QPointer<CContactEditForm> form = m_main->OpenContactEdit(nullptr, CvContact{});
        QVERIFY(form != nullptr);
        QStringList shown;
        form->showMessage = [&shown](const QString& text) { shown << text; };
        form->NameField()->setText(name);
        form->DisplayNameField()->setText(display);
        form->GroupField()->setEditText(group);
        QTest::mouseClick(form->SaveButton(), Qt::LeftButton);
        QCOMPARE(shown, QStringList{message});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form != nullptr && form->isVisible());
        QCOMPARE(form->DisplayNameField()->text(), display);
        QCOMPARE(Lines(*contacts), QStringList{"1 BOB Bob Friends"});
    }

    void aNewContactIsSavedTrimmedAndTheDialogGoes() {
        CvContactsManager* contacts = Start();
        QVERIFY(contacts != nullptr);
        m_main->Command(CMainForm::kCmdNewContact);
        QPointer<CContactEditForm> form =
            qobject_cast<CContactEditForm*>(CvFormRegistry::Instance().Find("CContactEditForm"));
        QVERIFY(form != nullptr && form->isVisible());
        QCOMPARE(form->windowTitle(), QString("Contact information"));
        QVERIFY(form->UserButton()->isChecked());
        QCOMPARE(form->GroupField()->currentText(), QString("Friends"));
        form->WorkgroupButton()->setChecked(true);
        form->NameField()->setText("  OFFICE ");
        form->DisplayNameField()->setText(" The office");
        form->GroupField()->setEditText("Places  ");
        form->grab().save(QString(qgetenv("CORVANE_SCREENSHOTS")) + "contact-edit.png");
        form->Command(CContactEditForm::kCmdSave);
        QTRY_VERIFY(form == nullptr);
        QCOMPARE(Lines(*contacts),
                 (QStringList{"1 BOB Bob Friends", "2 OFFICE The office Places"}));
        contacts->Load();
        QCOMPARE(Lines(*contacts),
                 (QStringList{"1 BOB Bob Friends", "2 OFFICE The office Places"}));
    }

    // The LAN browser's "Add to contact list" with one row: a new contact
    // with the row's kind and names, the group still to choose.
    void aPrefilledNewContactShowsItsFields() {
        CvContactsManager* contacts = Start();
        QVERIFY(contacts != nullptr);
        CContactEditForm* form =
            m_main->OpenContactEdit(nullptr, TestContact(kContactWorkgroup, "SALES", "Sales"));
        QVERIFY(form != nullptr);
        QVERIFY(form->WorkgroupButton()->isChecked());
        QCOMPARE(form->NameField()->text(), QString("SALES"));
        QCOMPARE(form->DisplayNameField()->text(), QString("Sales"));
        form->Command(CContactEditForm::kCmdSave);
        QCOMPARE(Lines(*contacts), (QStringList{"1 BOB Bob Friends", "2 SALES Sales Friends"}));
    }

    void anExistingContactIsChangedInPlace() {
        CvContactsManager* contacts = Start();
        QVERIFY(contacts != nullptr);
        const CvContact bob = contacts->Groups()[0].contacts[0];
        QPointer<CContactEditForm> form = m_main->OpenContactEdit(&bob, bob);
        QVERIFY(form != nullptr);
        // A second request for the same contact brings up the same dialog.
        QCOMPARE(m_main->OpenContactEdit(&bob, bob), form.data());
        QVERIFY(form->UserButton()->isChecked());
        QCOMPARE(form->NameField()->text(), QString("BOB"));
        QCOMPARE(form->GroupField()->currentText(), QString("Friends"));
        form->DisplayNameField()->setText("Robert");
        form->GroupField()->setEditText("Work");
        form->Command(CContactEditForm::kCmdSave);
        QCOMPARE(Lines(*contacts), QStringList{"1 BOB Robert Work"});
        contacts->Load();
        QCOMPARE(Lines(*contacts), QStringList{"1 BOB Robert Work"});
    }

    void cancelStoresNothing() {
        CvContactsManager* contacts = Start();
        QVERIFY(contacts != nullptr);
        QPointer<CContactEditForm> form = m_main->OpenContactEdit(nullptr, CvContact{});
        form->NameField()->setText("CAROL");
        form->DisplayNameField()->setText("Carol");
        form->Command(CContactEditForm::kCmdCancel);
        QTRY_VERIFY(form == nullptr);
        QCOMPARE(Lines(*contacts), QStringList{"1 BOB Bob Friends"});
    }

    void massAddAddsEveryRecipientInOrder() {
        CvContactsManager* contacts = Start();
        QVERIFY(contacts != nullptr);
        QPointer<CContactMassAddForm> form =
            m_main->OpenContactMassAdd({TestContact(kContactUser, "CAROL", "Carol", "ignored"),
                                        TestContact(kContactWorkgroup, "WG", "WG"),
                                        TestContact(kContactUser, "DAVE", "Dave")});
        QVERIFY(form != nullptr && form->isVisible());
        QCOMPARE(form->windowTitle(), QString("Add new contact"));
        QStringList shown;
        form->showMessage = [&shown](const QString& text) { shown << text; };
        form->GroupField()->setEditText(" ");
        form->Command(CContactMassAddForm::kCmdSave);
        QCOMPARE(shown, QStringList{"Group name not specified!"});
        QCOMPARE(Lines(*contacts), QStringList{"1 BOB Bob Friends"});

        form->GroupField()->setEditText("Found ");
        form->Command(CContactMassAddForm::kCmdSave);
        QTRY_VERIFY(form == nullptr);
        const QStringList expected{"1 BOB Bob Friends", "1 CAROL Carol Found", "2 WG WG Found",
                                   "1 DAVE Dave Found"};
        QCOMPARE(Lines(*contacts), expected);
        contacts->Load();
        QCOMPARE(Lines(*contacts), expected);
        QVERIFY(m_main->OpenContactMassAdd({}) == nullptr);
    }
};

QTEST_MAIN(ContactEditFormTest)
#include "CContactEditForm_test.moc"
