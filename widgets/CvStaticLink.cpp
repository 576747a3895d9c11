#include "widgets/CvStaticLink.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace {

const QColor kNormalColor(0x00, 0x00, 0x80);
const QColor kHotColor(0xFF, 0x80, 0x00);
constexpr int kPaddingX = 4;
constexpr int kPaddingY = 1;

}  // namespace

CvStaticLink::CvStaticLink(const QString& text, int id, QWidget* parent)
    : QWidget(parent), m_text(text), m_id(id) {
    // Keyboard users reach it with Tab; a click does not move the focus.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(text);
}

QSize CvStaticLink::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(m_text) + 2 * kPaddingX, metrics.height() + 2 * kPaddingY};
}

void CvStaticLink::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(m_hot ? kHotColor : kNormalColor);
    const QString shown = fontMetrics().elidedText(m_text, Qt::ElideRight, width());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, shown);
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void CvStaticLink::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    m_hot = true;
    update();
}

void CvStaticLink::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    m_hot = false;
    update();
}

void CvStaticLink::mouseReleaseEvent(QMouseEvent* event) {
    // The release comes here only after a press here (implicit grab); a
    // release outside the link cancels the click.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        event->accept();
        Activate();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void CvStaticLink::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (!event->isAutoRepeat()) {
                event->accept();
                Activate();
                return;
            }
            break;
        default:
            break;
    }
    QWidget::keyPressEvent(event);
}

void CvStaticLink::Activate() {
    if (m_binding != nullptr) {
        m_binding->Invoke();
    } else {
        emit command(m_id);
    }
}
