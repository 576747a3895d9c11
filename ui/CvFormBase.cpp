#include "ui/CvFormBase.h"

#include "ui/CvFormRegistry.h"

CvFormBase::CvFormBase(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

CvFormBase::~CvFormBase() {
    CvFormRegistry::Instance().Unregister(this);
}
