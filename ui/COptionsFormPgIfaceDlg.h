#pragma once

#include "ui/CvOptionsPage.h"

// Message sending page: notices after a send, the signature and the
// splitting of large broadcasts.
class COptionsFormPgIfaceDlg : public CvOptionsPage {
    Q_OBJECT
public:
    COptionsFormPgIfaceDlg(CvPropertyEditor& editor, LockRule isLocked);
};
