#pragma once

#include "ui/CvTaskWindowed.h"

// The about box.
class CvTaskAbout : public CvTaskWindowed {
public:
    CvTaskAbout();
};
