#pragma once

#include "ui/CvOptionsPage.h"

// Messages page: hyperlinks in message texts and enlarged broadcasts.
class COptionsFormPgMsgs : public CvOptionsPage {
    Q_OBJECT
public:
    COptionsFormPgMsgs(CvPropertyEditor& editor, LockRule isLocked);
};
