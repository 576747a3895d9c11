#include "widgets/CvWndAuto.h"

#include <algorithm>

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

// A tool tip window is never activated by Qt, neither when shown nor when
// clicked (a tool window would be activated by a click on X11 and take the
// focus from the editor, whose window would then lose activation and hide
// this one). It is also placed where asked without the window manager's
// say, like any drop-down.
CvWndAuto::CvWndAuto(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_owner(owner) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setContentsMargins(1, 1, 1, 1);  // the thin border
    if (m_owner != nullptr) {
        m_owner->window()->installEventFilter(this);
    }
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive) {
                    hide();
                }
            });
}

void CvWndAuto::ShowAt(const QPoint& anchor, const QSize& size) {
    QRect frame(anchor, size);
    const QScreen* screen = QGuiApplication::screenAt(anchor);
    if (screen == nullptr && m_owner != nullptr) {
        screen = m_owner->screen();
    }
    if (screen != nullptr) {
        // Keep the whole list on the screen sideways.
        const QRect available = screen->availableGeometry();
        frame.moveLeft(
            std::clamp(frame.left(), available.left(),
                       std::max(available.left(), available.right() + 1 - size.width())));
    }
    setGeometry(frame);
    show();
    raise();
}

void CvWndAuto::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool CvWndAuto::eventFilter(QObject* watched, QEvent* event) {
    if (m_owner != nullptr && watched == m_owner->window()) {
        switch (event->type()) {
            case QEvent::WindowDeactivate:
            case QEvent::Hide:
            case QEvent::Close:
            case QEvent::Move:
            case QEvent::Resize:
                // Below an editor that moved, or of a window no longer in
                // use, the list would point at the wrong place.
                hide();
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
