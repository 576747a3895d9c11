#include "ui/CDlgEditAutoStartup.h"

#include <QButtonGroup>
#include <QFrame>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPromise>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <thread>

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

bool CDlgEditAutoStartup::Change(QWidget* parent, CvAppPropertyEditor& editor,
                                 std::function<void(bool changed)> done) {
    const int32_t old = editor.Get(CvSettingId::kAutoStart).GetInt();
    int result = QDialog::Rejected;
    int32_t chosen = old;
    {
        CDlgEditAutoStartup dialog(parent);
        dialog.SetChosenState(old);
        result = showModal ? showModal(dialog) : dialog.exec();
        chosen = dialog.ChosenState();
    }
    if (result != QDialog::Accepted || chosen == old) {
        if (done) {
            done(false);
        }
        return false;
    }
    // The result comes back through the watcher, on this thread; a watcher
    // deleted with its parent gets nothing, and the worker only fulfils its
    // promise.
    QPromise<bool> promise;
    auto* watcher = new QFutureWatcher<bool>(parent);
    QObject::connect(watcher, &QFutureWatcher<bool>::finished, watcher,
                     [watcher, &editor, chosen, done = std::move(done)] {
                         const bool changed =
                             watcher->future().resultCount() > 0 && watcher->future().result();
                         watcher->deleteLater();
                         if (changed) {
                             // Never saved with the options: the next start
                             // derives it from the entries.
                             editor.Set(CvSettingId::kAutoStart, CvPropertyValue::Integer(chosen));
                         }
                         if (done) {
                             done(changed);
                         }
                     });
    watcher->setFuture(promise.future());
    std::thread([promise = std::move(promise), command = CvAppPaths::Detect().AutostartCommand(),
                 old, chosen]() mutable {
        promise.start();
        promise.addResult(CvAutostartChange(command).Apply(old, chosen));
        promise.finish();
    }).detach();
    return true;
}

QString CDlgEditAutoStartup::StateText(int32_t state) {
    return Text(kTextStates[InRange(state) ? state : CvAutostartChange::kDisabled]);
}
