#pragma once

#include "ui/CvOptionsPage.h"

// Message receiving page: what a received message does.
class COptionsFormPgRdMsgDlg : public CvOptionsPage {
    Q_OBJECT
public:
    COptionsFormPgRdMsgDlg(CvPropertyEditor& editor, LockRule isLocked);
};
