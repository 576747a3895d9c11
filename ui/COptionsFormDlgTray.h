#pragma once

#include "ui/CvOptionsPage.h"

// Tray icon page: what a left click on the tray icon opens.
class COptionsFormDlgTray : public CvOptionsPage {
    Q_OBJECT
public:
    COptionsFormDlgTray(CvPropertyEditor& editor, LockRule isLocked);
};
