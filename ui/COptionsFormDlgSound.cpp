#include "ui/COptionsFormDlgSound.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/CvAppSettingsTable.h"

namespace Id = CvSettingId;

namespace {

constexpr int kIdRole = Qt::UserRole;

struct Event {
    int32_t id;
    int textId;
};

constexpr Event kEvents[] = {
    {Id::kSoundEventIncMsgBcast, 805},
    {Id::kSoundEventIncMsgPriv, 806},
    {Id::kSoundEventSendSuccess, 807},
    {Id::kSoundEventSendFail, 808},
};

}  // namespace

COptionsFormDlgSound::COptionsFormDlgSound(CvPropertyEditor& editor, LockRule isLocked,
                                           const AskFile& askFile, const Play& play)
    : CvOptionsPage(editor, std::move(isLocked)),
      m_askFile(askFile),
      m_playFile(play),
      m_events(new QTreeWidget),
      m_file(new QLineEdit),
      m_browse(new QPushButton(Text(103))),
      m_play(new QToolButton) {
    QVBoxLayout* layout = PageLayout();
    AddCheckBox(layout, Id::kSoundEnabled, 802);

    m_events->setObjectName("SoundEvents");
    m_events->setRootIsDecorated(false);
    m_events->setHeaderLabels({Text(803), Text(804)});
    m_events->header()->resizeSection(0, 170);
    for (const Event& event : kEvents) {
        auto* item = new QTreeWidgetItem(
            m_events, {Text(event.textId), QString::fromStdString(Get(event.id).GetText())});
        item->setData(0, kIdRole, event.id);
        if (IsLocked(event.id)) {
            item->setToolTip(0, LockedText());
            ShowLockNote();
        }
    }
    layout->addWidget(m_events, 1);

    auto* line = new QHBoxLayout;
    line->addWidget(m_file, 1);
    line->addWidget(m_browse);
    line->addWidget(m_play);
    layout->addLayout(line);
    m_file->setObjectName("SoundFile");
    m_play->setObjectName("PlaySound");
    m_play->setIcon(QIcon::fromTheme("media-playback-start",
                                     QApplication::style()->standardIcon(QStyle::SP_MediaPlay)));
    m_play->setAccessibleName(QStringLiteral("Play"));

    connect(m_events, &QTreeWidget::currentItemChanged, this, [this] { ShowSelected(); });
    connect(m_file, &QLineEdit::textEdited, this, &COptionsFormDlgSound::StoreFile);
    connect(m_browse, &QPushButton::clicked, this, [this] {
        const QString chosen = m_askFile ? m_askFile(m_file->text()) : QString();
        if (!chosen.isEmpty()) {
            m_file->setText(chosen);
            StoreFile(chosen);
        }
    });
    connect(m_play, &QToolButton::clicked, this, [this] {
        if (m_playFile && !m_file->text().isEmpty()) {
            m_playFile(m_file->text().toStdString());
        }
    });
    m_events->setCurrentItem(m_events->topLevelItem(0));
    Finish();
}

int32_t COptionsFormDlgSound::SelectedId() const {
    const QTreeWidgetItem* item = m_events->currentItem();
    return item != nullptr ? item->data(0, kIdRole).toInt() : 0;
}

void COptionsFormDlgSound::ShowSelected() {
    const int32_t id = SelectedId();
    m_file->setText(id != 0 ? QString::fromStdString(Get(id).GetText()) : QString());
    const bool editable = id != 0 && !IsLocked(id);
    m_file->setEnabled(editable);
    m_browse->setEnabled(editable);
    m_file->setToolTip(id != 0 && IsLocked(id) ? LockedText() : QString());
}

void COptionsFormDlgSound::StoreFile(const QString& file) {
    QTreeWidgetItem* item = m_events->currentItem();
    if (item == nullptr) {
        return;
    }
    const int32_t id = item->data(0, kIdRole).toInt();
    Set(id, CvPropertyValue::Text(file.toStdString()));
    item->setText(1, QString::fromStdString(Get(id).GetText()));
}
