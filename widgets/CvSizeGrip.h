#pragma once

#include <QSizeGrip>

// The size grip in a window's bottom-right corner; the diagonal size cursor
// over it. The parent places it.
class CvSizeGrip : public QSizeGrip {
    Q_OBJECT
public:
    explicit CvSizeGrip(QWidget* parent);
};
