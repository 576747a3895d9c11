#include "ui/CDlgEditAutoStartup.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/CvAppPaths.h"
#include "app/CvAppPropertyEditor.h"
#include "app/CvAppSettingsTable.h"
#include "app/CvAutostartChange.h"
#include "app/CvLangTexts.h"
#include "ui/CvResources.h"

namespace {

constexpr int kTextCaption = 702;
constexpr int kTextOk = 101;
constexpr int kTextCancel = 102;
// Texts of states 0, 1 and 2.
constexpr int kTextStates[] = {709, 710, 711};

QString Text(int id) {
    return QString::fromStdString(CvLangTexts::Instance().GetText(id));
}

bool InRange(int32_t state) {
    return state >= CvAutostartChange::kDisabled && state <= CvAutostartChange::kAllUsers;
}

}  // namespace

CDlgEditAutoStartup::CDlgEditAutoStartup(QWidget* parent)
    : QDialog(parent), m_states(new QButtonGroup(this)) {
    setObjectName("CDlgEditAutoStartup");
    setWindowTitle(Text(kTextCaption));
    setWindowIcon(CvResources::AppIcon());

    auto* heading = new QLabel(Text(kTextCaption));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);

    auto* choices = new QVBoxLayout;
    choices->setContentsMargins(12, 0, 0, 4);
    for (int32_t state = CvAutostartChange::kDisabled; state <= CvAutostartChange::kAllUsers;
         ++state) {
        auto* button = new QRadioButton(Text(kTextStates[state]));
        m_states->addButton(button, state);
        choices->addWidget(button);
    }
    connect(m_states, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) {
            m_chosen = id;
        }
    });

    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* ok = new QPushButton(Text(kTextOk));
    auto* cancel = new QPushButton(Text(kTextCancel));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(choices);
    layout->addWidget(line);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    SetChosenState(CvAutostartChange::kDisabled);
}

void CDlgEditAutoStartup::SetChosenState(int32_t state) {
    if (QRadioButton* button = StateButton(state)) {
        button->setChecked(true);
        button->setFocus();
    }
}

QRadioButton* CDlgEditAutoStartup::StateButton(int32_t state) const {
    return InRange(state) ? static_cast<QRadioButton*>(m_states->button(state)) : nullptr;
}

bool CDlgEditAutoStartup::Change(QWidget* parent, CvAppPropertyEditor& editor) {
    const int32_t old = editor.Get(CvSettingId::kAutoStart).GetInt();
    CDlgEditAutoStartup dialog(parent);
    dialog.SetChosenState(old);
    const int result = showModal ? showModal(dialog) : dialog.exec();
    const int32_t chosen = dialog.ChosenState();
    if (result != QDialog::Accepted || chosen == old) {
        return false;
    }
    if (!CvAutostartChange(CvAppPaths::Detect().AutostartCommand()).Apply(old, chosen)) {
        return false;
    }
    // Never saved with the options: the next start derives it from the entries.
    editor.Set(CvSettingId::kAutoStart, CvPropertyValue::Integer(chosen));
    return true;
}

QString CDlgEditAutoStartup::StateText(int32_t state) {
    return Text(kTextStates[InRange(state) ? state : CvAutostartChange::kDisabled]);
}
