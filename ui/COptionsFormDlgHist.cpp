#include "ui/COptionsFormDlgHist.h"

#include <QVBoxLayout>

#include "app/CvAppSettingsTable.h"

namespace Id = CvSettingId;

COptionsFormDlgHist::COptionsFormDlgHist(CvPropertyEditor& editor, LockRule isLocked)
    : CvOptionsPage(editor, std::move(isLocked)) {
    QVBoxLayout* window = AddGroup(1702);
    AddCheckBox(window, Id::kMsgArcOnTop, 1703);
    Finish();
}
