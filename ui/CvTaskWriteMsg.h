#pragma once

#include "ui/CvTaskWindowed.h"

class CMainForm;
class CNewMsgForm;

// One write-message window, made when the task is.
class CvTaskWriteMsg : public CvTaskWindowed {
public:
    explicit CvTaskWriteMsg(CMainForm& main);
    CNewMsgForm* Form() const;
};
