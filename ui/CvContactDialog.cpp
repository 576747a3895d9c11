#include "ui/CvContactDialog.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CvLangTexts.h"
#include "storage/CvContactsManager.h"
#include "ui/CvResources.h"

namespace {

// The longest group name the contact list file declares.
constexpr int kMaxGroupName = 64;

}  // namespace

CvContactDialog::CvContactDialog(CvContactsManager& contacts, const QString& objectName,
                                 int titleTextId)
    : CvFormBase(nullptr, Qt::Dialog),
      m_contacts(contacts),
      m_group(new QComboBox),
      m_save(new QPushButton(Text(104))),
      m_cancel(new QPushButton(Text(102))) {
    setObjectName(objectName);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Text(titleTextId));
    setWindowIcon(CvResources::AppIcon());
    m_group->setEditable(true);
    m_group->setInsertPolicy(QComboBox::NoInsert);
    m_group->lineEdit()->setMaxLength(kMaxGroupName);
    for (const CvContactGroup& group : m_contacts.Groups()) {
        m_group->addItem(QString::fromStdString(group.name));
    }
    connect(m_save, &QPushButton::clicked, this, [this] { Command(kCmdSave); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { Command(kCmdCancel); });
}

CvContactDialog::~CvContactDialog() = default;

QString CvContactDialog::Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

void CvContactDialog::SetFields(QLayout* fields, int minimumWidth) {
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
    setMinimumWidth(minimumWidth);
}

void CvContactDialog::Command(int id) {
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

void CvContactDialog::keyPressEvent(QKeyEvent* event) {
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

void CvContactDialog::Refuse(int textId, QWidget* field) {
    const QString text = Text(textId);
    if (showMessage) {
        showMessage(text);
    } else {
        QMessageBox::warning(this, windowTitle(), text);
    }
    field->setFocus();
}
