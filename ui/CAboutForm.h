#pragma once

#include "ui/CvFormBase.h"

// The about box: the program's name and version, and who translated the
// interface texts in use.
class CAboutForm : public CvFormBase {
    Q_OBJECT
public:
    CAboutForm();
};
