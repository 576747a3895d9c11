#include "ui/CContactMassAddForm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

#include "storage/CvContactsManager.h"

CContactMassAddForm::CContactMassAddForm(CvContactsManager& contacts,
                                         std::vector<CvContact> recipients)
    : CvContactDialog(contacts, "CContactMassAddForm", 1011), m_recipients(std::move(recipients)) {
    if (m_group->count() > 0) {
        m_group->setCurrentIndex(0);
    }
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(Text(1007));
    label->setBuddy(m_group);
    row->addWidget(label);
    row->addWidget(m_group, 1);
    SetFields(row, 320);
    m_group->setFocus();
}

CContactMassAddForm::~CContactMassAddForm() = default;

void CContactMassAddForm::Save() {
    const QString groupName = m_group->currentText().trimmed();
    if (groupName.isEmpty()) {
        Refuse(1010, m_group);
        return;
    }
    for (CvContact contact : m_recipients) {
        contact.groupname = groupName.toStdString();
        contact.online = 0;
        contact.changed = 0;
        m_contacts.SaveContact(contact);
    }
    close();
}
