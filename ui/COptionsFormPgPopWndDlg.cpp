#include "ui/COptionsFormPgPopWndDlg.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/CvAppSettingsTable.h"

namespace Id = CvSettingId;

COptionsFormPgPopWndDlg::COptionsFormPgPopWndDlg(CvPropertyEditor& editor, LockRule isLocked)
    : CvOptionsPage(editor, std::move(isLocked)), m_deadline(new QSpinBox) {
    QVBoxLayout* opening = AddGroup(2308);
    AddCheckBox(opening, Id::kPopupMsgWndOpenAtNewest, 2309);
    AddCheckBox(opening, Id::kPopupMsgWndMarkReadWhenShown, 2311);

    QVBoxLayout* closing = AddGroup(2302);
    AddLabel(closing, 2303);
    QButtonGroup* autoclose =
        AddRadioGroup(closing, Id::kRecvMsgPopWndAutoclose, {{2304, 0}, {2305, 1}});
    // The seconds follow "At expiration of" on its line.
    QAbstractButton* atExpiration = autoclose->button(1);
    auto* line = new QHBoxLayout;
    line->setSpacing(6);
    closing->insertLayout(closing->indexOf(atExpiration), line);
    line->addWidget(atExpiration);
    line->addWidget(m_deadline);
    line->addWidget(new QLabel(Text(2306)));
    line->addStretch(1);
    m_deadline->setObjectName("Deadline");
    m_deadline->setRange(1, kMaxDeadline);
    m_deadline->setValue(GetInt(Id::kRecvMsgPopWndDeadline));
    const bool deadlineLocked = ApplyLock(m_deadline, Id::kRecvMsgPopWndDeadline);
    auto follow = [this, deadlineLocked](bool autocloses) {
        m_deadline->setEnabled(autocloses && !deadlineLocked);
    };
    follow(GetInt(Id::kRecvMsgPopWndAutoclose) == 1);
    connect(autoclose, &QButtonGroup::idClicked, this, [follow](int id) { follow(id == 1); });
    // Typed digits count at once, as a check box click does.
    connect(m_deadline, &QSpinBox::valueChanged, this,
            [this](int seconds) { SetInt(Id::kRecvMsgPopWndDeadline, seconds); });

    AddCheckBox(closing, Id::kPopupMsgWndKeepUntilRead, 2307);
    AddCheckBox(closing, Id::kPopupMsgWndRemoveReadMsg, 2310);
    Finish();
}
