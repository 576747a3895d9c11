#pragma once

#include <QPixmap>
#include <QWidget>

// A picture button with a hot state: the hot picture while the mouse is over
// it, the normal one otherwise. Releasing the left button inside its 24 x 24
// area after pressing it there emits command() with its id.
class CvButton : public QWidget {
    Q_OBJECT
public:
    CvButton(int id, const QPixmap& normal, const QPixmap& hot, QWidget* parent);

    int Id() const { return m_id; }
    bool IsHot() const { return m_hot; }
    QSize sizeHint() const override;

signals:
    void command(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int m_id;
    QPixmap m_normalPicture;
    QPixmap m_hotPicture;
    bool m_hot = false;
    bool m_pressed = false;
};
