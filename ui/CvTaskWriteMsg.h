#pragma once

#include "ui/CvTaskWindowed.h"

class CvFormHost;
class CNewMsgForm;

// One write-message window, made when the task is.
class CvTaskWriteMsg : public CvTaskWindowed {
public:
    explicit CvTaskWriteMsg(CvFormHost& main);
    CNewMsgForm* Form() const;
};
