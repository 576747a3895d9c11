#pragma once

#include <QIcon>
#include <QLineEdit>

class QAction;

// A single-line edit with one button inside its frame on the right. The
// button shows one image while the text is empty and another while it is
// not (the archive's search field: a search image, then a clear image); a
// click on it is reported, the text is left to the owner.
class CvEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CvEdit(QWidget* parent = nullptr);

    void SetButtonIcons(const QIcon& empty, const QIcon& filled);
    QAction* Button() const { return m_button; }

signals:
    void buttonClicked();

private:
    void ShowIcon();

    QAction* m_button;
    QIcon m_empty;
    QIcon m_filled;
};
