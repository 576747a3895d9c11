#include "widgets/CvButton.h"

#include <QBitmap>
#include <QMouseEvent>
#include <QPainter>

namespace {

// A release counts inside this square from the button's top-left corner
// (a little beyond a small button) and anywhere on a larger one.
constexpr int kClickArea = 24;
constexpr int kPadding = 3;

// Pictures without an alpha channel use magenta as the transparent colour.
QPixmap WithTransparency(QPixmap picture) {
    if (!picture.isNull() && !picture.hasAlphaChannel()) {
        picture.setMask(picture.createMaskFromColor(QColor(0xFF, 0x00, 0xFF)));
    }
    return picture;
}

}  // namespace

CvButton::CvButton(int id, const QPixmap& normal, const QPixmap& hot, QWidget* parent)
    : QWidget(parent),
      m_id(id),
      m_normalPicture(WithTransparency(normal)),
      m_hotPicture(WithTransparency(hot)) {}

QSize CvButton::sizeHint() const {
    const QSize picture =
        m_normalPicture.isNull() ? QSize(17, 17) : m_normalPicture.deviceIndependentSize().toSize();
    return picture + QSize(kPadding, kPadding);
}

void CvButton::paintEvent(QPaintEvent* /*event*/) {
    const QPixmap& picture = (m_hot && !m_hotPicture.isNull()) ? m_hotPicture : m_normalPicture;
    if (picture.isNull()) {
        return;
    }
    QPainter painter(this);
    const QSize size = picture.deviceIndependentSize().toSize();
    const QPoint topLeft((width() - size.width()) / 2, (height() - size.height()) / 2);
    painter.drawPixmap(topLeft, picture);
}

void CvButton::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (!m_hot) {
        m_hot = true;
        update();
    }
}

void CvButton::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    m_hot = false;
    update();
}

void CvButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CvButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const bool wasPressed = m_pressed;
    m_pressed = false;
    event->accept();
    const QRect clickArea = QRect(0, 0, kClickArea, kClickArea).united(rect());
    if (wasPressed && clickArea.contains(event->position().toPoint())) {
        emit command(m_id);
    }
}
