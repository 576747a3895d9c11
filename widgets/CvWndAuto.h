#pragma once

#include <QWidget>

// A small window that pops up beside an editor (a drop-down list) without
// taking the focus from it, and hides itself when the window it belongs to
// loses activation or the application is deactivated.
class CvWndAuto : public QWidget {
    Q_OBJECT
public:
    // `owner` is the window whose deactivation hides this one.
    explicit CvWndAuto(QWidget* owner);

    // Shows below `anchor` (global coordinates of its bottom-left corner).
    void ShowAt(const QPoint& anchor, const QSize& size);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* m_owner;
};
