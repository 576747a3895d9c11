#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QWidget>

// The caption strip of a cloud window: its text, single-line and vertically
// centred in (5, 0, width - 5, 24), over horizontal tiles of a 25 x 25
// picture. Dragging it with the left button moves the top-level window.
class cvDragBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 25;

    explicit cvDragBar(QWidget* parent);

    void SetText(const QString& text);
    QString Text() const { return m_text; }
    void SetTile(const QPixmap& tile);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_text;
    QPixmap m_tile;
    QColor m_textColor;  // the more readable of white and dark on the tile
    bool m_dragging = false;
    QPoint m_offset;  // cursor from the window's top-left corner
};
