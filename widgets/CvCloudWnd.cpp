#include "widgets/CvCloudWnd.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>

#include <algorithm>
#include <climits>

#include "widgets/CvClientAreaWnd.h"

namespace {

const QColor kBackground(0xFF, 0xFF, 0xE1);
constexpr int kWindowCornerEllipse = 12;
constexpr int kClientInset = 2;
constexpr int kBorderWidth = 3;
constexpr int kDefaultWidth = 300;
constexpr int kDefaultHeight = 150;
// QBasicTimer takes milliseconds as int.
constexpr int kMaxAutoCloseSeconds = INT_MAX / 1000;

}  // namespace

CvCloudWnd::CvCloudWnd(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_clientArea(new CvClientAreaWnd(this)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Everything is painted, the border included.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_clientArea->SetBackground(kBackground);
    resize(kDefaultWidth, kDefaultHeight);
}

CvCloudWnd::~CvCloudWnd() = default;

void CvCloudWnd::SetBorderColors(const QColor& border, const QColor& secondBorder) {
    m_border = border;
    m_secondBorder = secondBorder;
    update();
}

void CvCloudWnd::SetAutoCloseDelay(int seconds) {
    m_autoCloseSeconds = std::clamp(seconds, 0, kMaxAutoCloseSeconds);
    RestartAutoCloseTimer();
}

void CvCloudWnd::ShowWithoutActivation() {
    LayOut();
    setAttribute(Qt::WA_ShowWithoutActivating);
    show();
    // Also when it was visible already: a new message starts the delay anew.
    RestartAutoCloseTimer();
    RefreshContent();
}

void CvCloudWnd::LayOut() {
    setMask(CvClientAreaWnd::RoundedRegion(size(), kWindowCornerEllipse));
    m_clientArea->setGeometry(
        rect().adjusted(kClientInset, kClientInset, -kClientInset, -kClientInset));
}

QSize CvCloudWnd::ComputeSize() {
    return {kDefaultWidth, kDefaultHeight};
}

bool CvCloudWnd::MayAutoClose() {
    return true;
}

void CvCloudWnd::RefreshContent() {}

void CvCloudWnd::ReLayOut() {
    LayOut();
}

void CvCloudWnd::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    // The border colour reaches the (unsmoothed) mask edge; only the inner
    // edge of the border is smoothed against the background.
    painter.fillRect(rect(), m_border);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal outerRadius = kWindowCornerEllipse / 2.0;
    QPainterPath inner;
    inner.addRoundedRect(
        QRectF(rect()).adjusted(kBorderWidth, kBorderWidth, -kBorderWidth, -kBorderWidth),
        outerRadius - kBorderWidth, outerRadius - kBorderWidth);
    painter.fillPath(inner, kBackground);
    if (m_secondBorder != m_border) {
        // The innermost pixel of the border; the client area covers it but
        // for its corners.
        const qreal inset = kBorderWidth - 0.5;
        painter.setPen(QPen(m_secondBorder, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset),
                                outerRadius - inset, outerRadius - inset);
    }
}

void CvCloudWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void CvCloudWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    RestartAutoCloseTimer();
}

void CvCloudWnd::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_autoCloseTimer.stop();
}

void CvCloudWnd::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        // Activation stops the delay; losing it starts the delay from zero.
        RestartAutoCloseTimer();
    }
}

void CvCloudWnd::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_autoCloseTimer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    if (IsActive() || !isVisible()) {
        m_autoCloseTimer.stop();
        return;
    }
    // When refused, the timer keeps running: the next period asks again.
    if (MayAutoClose()) {
        m_autoCloseTimer.stop();
        hide();
        emit autoClosed();
    }
}

bool CvCloudWnd::IsActive() const {
    // Not isActiveWindow(): with some styles a parentless tool window counts
    // as active whenever it is visible, which would keep it open for ever.
    return QApplication::activeWindow() == this;
}

void CvCloudWnd::RestartAutoCloseTimer() {
    if (m_autoCloseSeconds > 0 && isVisible() && !IsActive()) {
        m_autoCloseTimer.start(m_autoCloseSeconds * 1000, this);
    } else {
        m_autoCloseTimer.stop();
    }
}
