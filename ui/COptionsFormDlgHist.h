#pragma once

#include "ui/CvOptionsPage.h"

// Message archive page: the archive window's place above other windows.
class COptionsFormDlgHist : public CvOptionsPage {
    Q_OBJECT
public:
    COptionsFormDlgHist(CvPropertyEditor& editor, LockRule isLocked);
};
