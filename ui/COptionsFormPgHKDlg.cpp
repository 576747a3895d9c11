#include "ui/COptionsFormPgHKDlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/CvAppSettingsTable.h"
#include "app/CvHotKey.h"
#include "widgets/CvHotKeyEdit.h"

namespace Id = CvSettingId;

namespace {

constexpr int kIdRole = Qt::UserRole;

struct Action {
    int32_t id;
    int textId;
};

constexpr Action kActions[] = {
    {Id::kHotKeyWriteNewMsg, 1905},
    {Id::kHotKeyReplyLastMsg, 1906},
    {Id::kHotKeyOpenIncoming, 1907},
    {Id::kHotKeyBrowseLan, 1908},
};

QString KeyText(int32_t value) {
    return QString::fromStdString(CvHotKeyDisplayText(value));
}

}  // namespace

COptionsFormPgHKDlg::COptionsFormPgHKDlg(CvPropertyEditor& editor, LockRule isLocked,
                                         const std::string& unavailable)
    : CvOptionsPage(editor, std::move(isLocked)),
      m_actions(new QTreeWidget),
      m_field(new CvHotKeyEdit),
      m_set(new QPushButton(Text(107))) {
    QVBoxLayout* layout = PageLayout();
    AddCheckBox(layout, Id::kHotKeyEnabled, 1902);
    if (!unavailable.empty()) {
        auto* why = new QLabel(QString::fromStdString(unavailable));
        why->setObjectName("Unavailable");
        why->setWordWrap(true);
        layout->addWidget(why);
    }

    m_actions->setObjectName("HotKeyActions");
    m_actions->setRootIsDecorated(false);
    m_actions->setHeaderLabels({Text(1903), Text(1904)});
    // The key column takes the rest: "Ctrl + Shift + Alt + Page Down" is long.
    m_actions->header()->resizeSection(0, 200);
    for (const Action& action : kActions) {
        auto* item =
            new QTreeWidgetItem(m_actions, {Text(action.textId), KeyText(GetInt(action.id))});
        item->setData(0, kIdRole, action.id);
        if (IsLocked(action.id)) {
            item->setToolTip(0, LockedText());
            ShowLockNote();
        }
    }
    layout->addWidget(m_actions, 1);

    auto* line = new QHBoxLayout;
    line->addWidget(new QLabel(Text(1909)));
    line->addWidget(m_field, 1);
    line->addWidget(m_set);
    layout->addLayout(line);
    m_field->setObjectName("HotKeyField");
    connect(m_actions, &QTreeWidget::currentItemChanged, this, [this] { ShowSelected(); });
    connect(m_set, &QPushButton::clicked, this, &COptionsFormPgHKDlg::SetKey);
    m_actions->setCurrentItem(m_actions->topLevelItem(0));

    const bool editable = unavailable.empty();
    for (QWidget* control : {static_cast<QWidget*>(m_actions), static_cast<QWidget*>(m_field),
                             static_cast<QWidget*>(m_set)}) {
        control->setEnabled(editable);
    }
    if (editable) {
        ShowSelected();
    }
    Finish();
}

int32_t COptionsFormPgHKDlg::SelectedId() const {
    const QTreeWidgetItem* item = m_actions->currentItem();
    return item != nullptr ? item->data(0, kIdRole).toInt() : 0;
}

void COptionsFormPgHKDlg::ShowSelected() {
    const int32_t id = SelectedId();
    m_field->SetValue(id != 0 ? GetInt(id) : 0);
    const bool locked = id != 0 && IsLocked(id);
    m_field->setEnabled(m_actions->isEnabled() && !locked);
    m_set->setEnabled(m_actions->isEnabled() && !locked);
    m_field->setToolTip(locked ? LockedText() : QString());
}

void COptionsFormPgHKDlg::SetKey() {
    QTreeWidgetItem* item = m_actions->currentItem();
    if (item == nullptr) {
        return;
    }
    const int32_t id = item->data(0, kIdRole).toInt();
    SetInt(id, m_field->Value());
    item->setText(1, KeyText(GetInt(id)));
}
