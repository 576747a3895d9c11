#include "ui/COptionsFormPgMsgs.h"

#include <QVBoxLayout>

#include "app/CvAppSettingsTable.h"

namespace Id = CvSettingId;

COptionsFormPgMsgs::COptionsFormPgMsgs(CvPropertyEditor& editor, LockRule isLocked)
    : CvOptionsPage(editor, std::move(isLocked)) {
    QVBoxLayout* text = AddGroup(2502);
    AddLabel(text, 2506);
    AddRadioGroup(text, Id::kMessagesHandleLinks, {{2507, 0}, {2508, 1}, {2509, 2}});
    QVBoxLayout* broadcast = AddGroup(2504);
    AddCheckBox(broadcast, Id::kMessagesLargeBcastEnabled, 2505);
    Finish();
}
