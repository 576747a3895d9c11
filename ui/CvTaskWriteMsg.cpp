#include "ui/CvTaskWriteMsg.h"

#include "ui/CNewMsgForm.h"

CvTaskWriteMsg::CvTaskWriteMsg(CvFormHost& main) : CvTaskWindowed("CvTaskWriteMsg") {
    SetWindow(new CNewMsgForm(main));
}

CNewMsgForm* CvTaskWriteMsg::Form() const {
    return static_cast<CNewMsgForm*>(Window());
}
