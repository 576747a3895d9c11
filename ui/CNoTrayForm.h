#pragma once

#include <functional>
#include <vector>

#include "ui/CvFormBase.h"

class QLabel;

// Shown once when the desktop has no notification area: it says so and
// offers the tray menu's entries as buttons, so the program stays usable.
class CNoTrayForm : public CvFormBase {
    Q_OBJECT
public:
    struct Entry {
        QString text;
        std::function<void()> action;
    };

    CNoTrayForm(const QString& explanation, const std::vector<Entry>& entries);
    QString Explanation() const;

private:
    QLabel* m_text;
};
