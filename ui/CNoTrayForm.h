#pragma once

#include <functional>
#include <vector>

#include "ui/CvFormBase.h"

class QLabel;
class QPushButton;

// Shown when the desktop has no notification area: it says so and offers
// what the tray icon would (its menu's entries, the contact list) as
// buttons, so the program stays usable. Closing it minimises it instead, so
// that it stays in the desktop's task list; only the program's end closes it.
class CNoTrayForm : public CvFormBase {
    Q_OBJECT
public:
    struct Entry {
        QString text;
        std::function<void()> action;
    };

    CNoTrayForm(const QString& explanation, const std::vector<Entry>& entries);
    QString Explanation() const;
    const std::vector<QPushButton*>& Buttons() const { return m_buttons; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_text;
    std::vector<QPushButton*> m_buttons;
};
