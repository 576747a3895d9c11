#include "ui/CContactEditForm.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/CvLangTexts.h"
#include "storage/CvContactsManager.h"
#include "ui/CvResources.h"

namespace {

QString Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

// The longest names the contact list file declares.
constexpr int kMaxName = 32;
constexpr int kMaxDisplayName = 64;

}  // namespace

CContactEditForm::CContactEditForm(CvContactsManager& contacts, const CvContact* existing,
                                   const CvContact& prefill)
    : CvFormBase(nullptr, Qt::Dialog),
      m_contacts(contacts),
      m_user(new QRadioButton(Text(1003))),
      m_workgroup(new QRadioButton(Text(1004))),
      m_name(new QLineEdit),
      m_displayName(new QLineEdit),
      m_group(new QComboBox),
      m_save(new QPushButton(Text(104))),
      m_cancel(new QPushButton(Text(102))) {
    setObjectName("CContactEditForm");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Text(1001));
    setWindowIcon(CvResources::AppIcon());
    if (existing != nullptr) {
        m_existing = *existing;
    }

    auto* kinds = new QButtonGroup(this);
    kinds->addButton(m_user, kCtrlUser);
    kinds->addButton(m_workgroup, kCtrlWorkgroup);
    m_user->setChecked(true);
    m_name->setMaxLength(kMaxName);
    m_displayName->setMaxLength(kMaxDisplayName);
    m_group->setEditable(true);
    m_group->setInsertPolicy(QComboBox::NoInsert);
    m_group->lineEdit()->setMaxLength(kMaxDisplayName);
    for (const CvContactGroup& group : m_contacts.Groups()) {
        m_group->addItem(QString::fromStdString(group.name));
    }

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

    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    m_save->setDefault(true);
    m_save->setAutoDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(line);
    layout->addLayout(buttons);
    setMinimumWidth(340);

    connect(m_save, &QPushButton::clicked, this, [this] { Command(kCmdSave); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { Command(kCmdCancel); });
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

void CContactEditForm::Command(int id) {
    switch (id) {
        case kCmdSave:
            Save();
            break;
        case kCmdCancel:
        case kCmdClose:
            close();
            break;
        default:
            break;
    }
}

void CContactEditForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Command(kCmdClose);
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Command(kCmdSave);
        return;
    }
    CvFormBase::keyPressEvent(event);
}

void CContactEditForm::Refuse(int textId, QWidget* field) {
    const QString text = Text(textId);
    if (showMessage) {
        showMessage(text);
    } else {
        QMessageBox::warning(this, windowTitle(), text);
    }
    field->setFocus();
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
