#include "ui/COptionsFormPgIfaceDlg.h"

#include <QVBoxLayout>

#include "app/CvAppSettingsTable.h"

namespace Id = CvSettingId;

COptionsFormPgIfaceDlg::COptionsFormPgIfaceDlg(CvPropertyEditor& editor, LockRule isLocked)
    : CvOptionsPage(editor, std::move(isLocked)) {
    QVBoxLayout* sending = AddGroup(1602);
    AddLabel(sending, 1603);
    AddCheckBox(sending, Id::kMsgSendSuccessSoundNotify, 1604);
    AddLabel(sending, 1605);
    AddCheckBox(sending, Id::kMsgSendFailTextNotify, 1606);
    AddCheckBox(sending, Id::kMsgSendFailSoundNotify, 1607);
    QVBoxLayout* signature = AddGroup(1608);
    AddLabel(signature, 1609);
    AddRadioGroup(signature, Id::kUserSignMsgWith, {{1610, 1}, {1611, 2}});
    QVBoxLayout* fragments = AddGroup(1612);
    AddCheckBox(fragments, Id::kMsgSendEnableMsgFragment, 1613);
    Finish();
}
