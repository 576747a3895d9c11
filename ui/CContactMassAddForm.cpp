#include "ui/CContactMassAddForm.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CvLangTexts.h"
#include "storage/CvContactsManager.h"
#include "ui/CvResources.h"

namespace {

QString Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

constexpr int kMaxGroupName = 64;

}  // namespace

CContactMassAddForm::CContactMassAddForm(CvContactsManager& contacts,
                                         std::vector<CvContact> recipients)
    : CvFormBase(nullptr, Qt::Dialog),
      m_contacts(contacts),
      m_recipients(std::move(recipients)),
      m_group(new QComboBox),
      m_save(new QPushButton(Text(104))),
      m_cancel(new QPushButton(Text(102))) {
    setObjectName("CContactMassAddForm");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Text(1011));
    setWindowIcon(CvResources::AppIcon());

    m_group->setEditable(true);
    m_group->setInsertPolicy(QComboBox::NoInsert);
    m_group->lineEdit()->setMaxLength(kMaxGroupName);
    for (const CvContactGroup& group : m_contacts.Groups()) {
        m_group->addItem(QString::fromStdString(group.name));
    }
    if (m_group->count() > 0) {
        m_group->setCurrentIndex(0);
    }

    auto* row = new QHBoxLayout;
    auto* label = new QLabel(Text(1007));
    label->setBuddy(m_group);
    row->addWidget(label);
    row->addWidget(m_group, 1);
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    m_save->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(line);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    connect(m_save, &QPushButton::clicked, this, [this] { Command(kCmdSave); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { Command(kCmdCancel); });
    m_group->setFocus();
}

CContactMassAddForm::~CContactMassAddForm() = default;

void CContactMassAddForm::Command(int id) {
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

void CContactMassAddForm::keyPressEvent(QKeyEvent* event) {
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

void CContactMassAddForm::Save() {
    const QString groupName = m_group->currentText().trimmed();
    if (groupName.isEmpty()) {
        const QString text = Text(1010);
        if (showMessage) {
            showMessage(text);
        } else {
            QMessageBox::warning(this, windowTitle(), text);
        }
        m_group->setFocus();
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
