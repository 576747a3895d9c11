#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include "widgets/CvAbstractLayout.h"

// Places the contact list at an anchor point (the cursor) inside the screen's
// work area: the area the desktop's panels leave free, 5 pixels in from
// every side. Alignment flags: 16 centres the window on the anchor; vertical
// 1 puts its bottom at the anchor, horizontal 4 its right edge; any other
// value its top (left) edge. A window that would leave the work area is
// pushed back in, towards the bottom (right) edge first and then the top
// (left) edge, so a window taller than the area shows its top.
class CvContactLayout : public CvAbstractLayout {
public:
    static constexpr int kAlignCentre = 16;
    static constexpr int kAlignBottom = 1;  // vertical
    static constexpr int kAlignRight = 4;   // horizontal
    static constexpr int kAlignLeft = 8;    // horizontal, as the write-message window asks
    static constexpr int kMargin = 5;

    explicit CvContactLayout(QWidget* window) : CvAbstractLayout(window) {}

    void SetAnchor(const QPoint& anchor, int verticalFlags, int horizontalFlags);
    QPoint Anchor() const { return {m_x, m_y}; }
    int VerticalFlags() const { return m_verticalFlags; }
    int HorizontalFlags() const { return m_horizontalFlags; }

    // The screen under the anchor; the window keeps its size and is shown.
    void Apply() override;

    // The work area inside `available` (the screen less its panels).
    static QRect WorkArea(const QRect& available);
    // The window's top-left corner for a window of `size`.
    static QPoint Position(const QRect& workArea, const QSize& size, const QPoint& anchor,
                           int verticalFlags, int horizontalFlags);

private:
    int m_x = 0;
    int m_y = 0;
    int m_verticalFlags = kAlignCentre;
    int m_horizontalFlags = kAlignCentre;
};
