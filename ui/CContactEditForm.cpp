#include "ui/CContactEditForm.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "storage/CvContactsManager.h"

namespace {

// The longest names the contact list file declares.
constexpr int kMaxName = 32;
constexpr int kMaxDisplayName = 64;

}  // namespace

CContactEditForm::CContactEditForm(CvContactsManager& contacts, const CvContact* existing,
                                   const CvContact& prefill)
    : CvContactDialog(contacts, "CContactEditForm", 1001),
      m_user(new QRadioButton(Text(1003))),
      m_workgroup(new QRadioButton(Text(1004))),
      m_name(new QLineEdit),
      m_displayName(new QLineEdit) {
    if (existing != nullptr) {
        m_existing = *existing;
    }

    auto* kinds = new QButtonGroup(this);
    kinds->addButton(m_user, kCtrlUser);
    kinds->addButton(m_workgroup, kCtrlWorkgroup);
    m_user->setChecked(true);
    m_name->setMaxLength(kMaxName);
    m_displayName->setMaxLength(kMaxDisplayName);

    // What it shows: the contact, or the new contact's known fields.
    const CvContact& shown = existing != nullptr ? *existing : prefill;
    (shown.conttype == kContactUser ? m_user : m_workgroup)->setChecked(true);
    m_name->setText(QString::fromStdString(shown.name));
    m_displayName->setText(QString::fromStdString(shown.displayname));
    if (!shown.groupname.empty() || m_group->count() == 0) {
        m_group->setEditText(QString::fromStdString(shown.groupname));
    } else {
        m_group->setCurrentIndex(0);
    }

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    fields->addWidget(new QLabel(Text(1002)), 0, 0, 1, 2);
    auto* kindBox = new QVBoxLayout;
    kindBox->setContentsMargins(12, 0, 0, 4);
    kindBox->addWidget(m_user);
    kindBox->addWidget(m_workgroup);
    fields->addLayout(kindBox, 1, 0, 1, 2);
    auto addRow = [fields](int row, const QString& label, QWidget* field) {
        auto* text = new QLabel(label);
        text->setBuddy(field);
        fields->addWidget(text, row, 0);
        fields->addWidget(field, row, 1);
    };
    addRow(2, Text(1005), m_name);
    addRow(3, Text(1006), m_displayName);
    addRow(4, Text(1007), m_group);
    fields->setColumnStretch(1, 1);

    SetFields(fields, 340);
    (m_name->text().isEmpty() ? m_name : m_displayName)->setFocus();
}

CContactEditForm::~CContactEditForm() = default;

bool CContactEditForm::IsEditing(const CvContact* contact) const {
    if (contact == nullptr || !m_existing) {
        return contact == nullptr && !m_existing;
    }
    return m_existing->conttype == contact->conttype && m_existing->name == contact->name &&
           m_existing->displayname == contact->displayname &&
           m_existing->groupname == contact->groupname;
}

void CContactEditForm::Save() {
    const QString name = m_name->text().trimmed();
    const QString displayName = m_displayName->text().trimmed();
    const QString groupName = m_group->currentText().trimmed();
    if (name.isEmpty()) {
        Refuse(1008, m_name);
        return;
    }
    if (displayName.isEmpty()) {
        Refuse(1009, m_displayName);
        return;
    }
    if (groupName.isEmpty()) {
        Refuse(1010, m_group);
        return;
    }
    CvContact contact;
    contact.conttype = m_workgroup->isChecked() ? kContactWorkgroup : kContactUser;
    contact.name = name.toStdString();
    contact.displayname = displayName.toStdString();
    contact.groupname = groupName.toStdString();
    m_contacts.SaveContact(contact, m_existing ? &*m_existing : nullptr);
    close();
}
