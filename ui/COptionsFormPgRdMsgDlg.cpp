#include "ui/COptionsFormPgRdMsgDlg.h"

#include <QVBoxLayout>

#include "app/CvAppSettingsTable.h"

namespace Id = CvSettingId;

COptionsFormPgRdMsgDlg::COptionsFormPgRdMsgDlg(CvPropertyEditor& editor, LockRule isLocked)
    : CvOptionsPage(editor, std::move(isLocked)) {
    QVBoxLayout* receiving = AddGroup(907);
    AddLabel(receiving, 908);
    AddRadioGroup(receiving, Id::kRecvMsgMainAct, {{909, 1}, {910, 2}, {911, 3}});
    AddCheckBox(receiving, Id::kRecvMsgSoundNotify, 912);
    QVBoxLayout* broadcast = AddGroup(913);
    AddCheckBox(broadcast, Id::kRecvMsgDiscardOwnBcMsg, 914);
    Finish();
}
