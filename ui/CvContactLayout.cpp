#include "ui/CvContactLayout.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

// One axis: the start coordinate of a window of `length` at `anchor` inside
// [low, high).
int PlaceOnAxis(int anchor, int length, int flags, int endFlag, int low, int high) {
    int start = anchor;
    if (flags == CvContactLayout::kAlignCentre) {
        start = anchor - length / 2;
    } else if (flags == endFlag) {
        start = anchor - length;
    }
    if (start + length > high) {
        start = high - length;
    }
    if (start < low) {
        start = low;
    }
    return start;
}

}  // namespace

void CvContactLayout::SetAnchor(const QPoint& anchor, int verticalFlags, int horizontalFlags) {
    m_x = anchor.x();
    m_y = anchor.y();
    m_verticalFlags = verticalFlags;
    m_horizontalFlags = horizontalFlags;
}

QRect CvContactLayout::WorkArea(const QRect& available) {
    return available.adjusted(kMargin, kMargin, -kMargin, -kMargin);
}

QPoint CvContactLayout::Position(const QRect& workArea, const QSize& size, const QPoint& anchor,
                                 int verticalFlags, int horizontalFlags) {
    // Exclusive right and bottom edges, as the sizes are counted.
    const int right = workArea.x() + workArea.width();
    const int bottom = workArea.y() + workArea.height();
    const int y =
        PlaceOnAxis(anchor.y(), size.height(), verticalFlags, kAlignBottom, workArea.y(), bottom);
    const int x =
        PlaceOnAxis(anchor.x(), size.width(), horizontalFlags, kAlignRight, workArea.x(), right);
    return {x, y};
}

void CvContactLayout::Apply() {
    QWidget* window = Window();
    if (window == nullptr) {
        return;
    }
    window->resize(window->sizeHint());
    const QPoint anchor(m_x, m_y);
    const QScreen* screen = QGuiApplication::screenAt(anchor);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen != nullptr) {
        const QRect area = WorkArea(screen->availableGeometry());
        window->move(Position(area, window->size(), anchor, m_verticalFlags, m_horizontalFlags));
    }
    window->show();
}
