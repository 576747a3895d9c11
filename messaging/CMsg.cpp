#include "messaging/CMsg.h"

#include "app/CvFileTime.h"

CMsg::CMsg() : time(CvFileTime::NowLocal()) {}
