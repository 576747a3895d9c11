#include "widgets/CvClientAreaWnd.h"

#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QResizeEvent>

namespace {

constexpr int kCornerEllipse = 6;

}  // namespace

CvClientAreaWnd::CvClientAreaWnd(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CvClientAreaWnd::SetBackground(const QColor& color) {
    m_background = color;
    update();
}

QRegion CvClientAreaWnd::RoundedRegion(const QSize& size, int cornerEllipse) {
    if (size.isEmpty()) {
        return {};
    }
    // Not antialiased: a mask is all or nothing per pixel.
    QPainterPath path;
    const qreal radius = cornerEllipse / 2.0;
    path.addRoundedRect(QRectF(0, 0, size.width(), size.height()), radius, radius);
    return QRegion(path.toFillPolygon().toPolygon());
}

void CvClientAreaWnd::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), m_background);
}

void CvClientAreaWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    setMask(RoundedRegion(event->size(), kCornerEllipse));
}
