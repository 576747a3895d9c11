#pragma once

#include "ui/CvOptionsPage.h"

class QSpinBox;

// Popup window page: where the popup opens, and when it closes itself.
class COptionsFormPgPopWndDlg : public CvOptionsPage {
    Q_OBJECT
public:
    static constexpr int kMaxDeadline = 3600;

    COptionsFormPgPopWndDlg(CvPropertyEditor& editor, LockRule isLocked);

    QSpinBox* DeadlineBox() const { return m_deadline; }

private:
    QSpinBox* m_deadline;
};
