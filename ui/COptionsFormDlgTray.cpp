#include "ui/COptionsFormDlgTray.h"

#include <QVBoxLayout>

#include "app/CvAppSettingsTable.h"

namespace Id = CvSettingId;

COptionsFormDlgTray::COptionsFormDlgTray(CvPropertyEditor& editor, LockRule isLocked)
    : CvOptionsPage(editor, std::move(isLocked)) {
    QVBoxLayout* click = AddGroup(1502);
    AddLabel(click, 1503);
    AddRadioGroup(click, Id::kTrayLeftMouseBtn, {{1504, 1}, {1505, 2}, {1506, 3}});
    Finish();
}
