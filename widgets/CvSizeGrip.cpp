#include "widgets/CvSizeGrip.h"

CvSizeGrip::CvSizeGrip(QWidget* parent) : QSizeGrip(parent) {
    // The grip sits in the bottom-right corner whatever the layout
    // direction, so the cursor is always the top-left to bottom-right one.
    setCursor(Qt::SizeFDiagCursor);
}
