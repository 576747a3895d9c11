#include "storage/CvArrayDataSet.h"

CvArrayDataSet::CvArrayDataSet()
    : CvMemDataSet({u"Type", u"Origin", u"Recipient", u"Message", u"Received", u"Read", u"Id"}) {}
