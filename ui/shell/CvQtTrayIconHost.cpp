#include "ui/shell/CvQtTrayIconHost.h"

#include <QApplication>
#include <QCursor>
#include <QThread>
#include <QTimer>

#include <cstring>

#include "app/CvTrayIcon.h"
#include "app/CvTrayIconManager.h"

CvQtTrayIconHost::CvQtTrayIconHost(QObject* parent) : QObject(parent) {
    connect(&m_tray, &QSystemTrayIcon::activated, this, &CvQtTrayIconHost::OnActivated);
}

CvQtTrayIconHost::~CvQtTrayIconHost() {
    m_tray.hide();
}

QIcon CvQtTrayIconHost::Picture(int icon) {
    const char* name = "offline";
    if (icon == CvTrayIconManager::kIconOnline) {
        name = "online";
    } else if (icon == CvTrayIconManager::kIconAlternate) {
        name = "alert";
    }
    QIcon picture;
    for (int size : {16, 22, 24, 32, 48}) {
        picture.addFile(QStringLiteral(":/corvane/tray/%1-%2.png").arg(name).arg(size),
                        QSize(size, size));
    }
    return picture;
}

void CvQtTrayIconHost::SetEvents(Events events) {
    std::lock_guard guard(m_eventsLock);
    m_events = std::move(events);
}

void CvQtTrayIconHost::Apply(int icon, const std::string& tip, bool show) {
    auto apply = [this, icon, tip = QString::fromStdString(tip), show] {
        m_tray.setIcon(Picture(icon));
        m_tray.setToolTip(tip);
        if (show && !m_tray.isVisible()) {
            m_tray.show();
        }
        WatchIconWindow();
    };
    if (QThread::currentThread() == thread()) {
        apply();
    } else {
        QMetaObject::invokeMethod(this, apply, Qt::QueuedConnection);
    }
}

bool CvQtTrayIconHost::Modify(int icon, const std::string& tip) {
    if (!m_added) {
        return false;
    }
    Apply(icon, tip, false);
    return true;
}

bool CvQtTrayIconHost::Add(int icon, const std::string& tip) {
    // Qt embeds the icon once a tray appears, also one that starts later.
    m_added = true;
    Apply(icon, tip, true);
    return true;
}

void CvQtTrayIconHost::Remove() {
    m_added = false;
    if (QThread::currentThread() == thread()) {
        m_tray.hide();
    } else {
        QMetaObject::invokeMethod(
            this, [this] { m_tray.hide(); }, Qt::QueuedConnection);
    }
}

void CvQtTrayIconHost::StartTimer(int id, uint32_t ms) {
    QTimer*& timer = m_timers[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    timer->start(static_cast<int>(ms));
}

void CvQtTrayIconHost::StopTimer(int id) {
    auto it = m_timers.find(id);
    if (it != m_timers.end()) {
        it->second->stop();
    }
}

bool CvQtTrayIconHost::CursorPosition(int& x, int& y) {
    const QPoint cursor = QCursor::pos();
    x = cursor.x();
    y = cursor.y();
    return true;
}

void CvQtTrayIconHost::WatchIconWindow() {
    if (m_iconWindow) {
        return;
    }
    // Qt's XEmbed icon is a top-level widget of its own class; the
    // StatusNotifierItem has none.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("QSystemTrayIconSys") ||
            std::strcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0) {
            m_iconWindow = widget;
            widget->setMouseTracking(true);
            widget->installEventFilter(this);
            return;
        }
    }
}

bool CvQtTrayIconHost::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_iconWindow.data() &&
        (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove)) {
        const QPoint cursor = QCursor::pos();
        Deliver(CvTrayIcon::kMouseMove, cursor.x(), cursor.y());
    }
    return QObject::eventFilter(watched, event);
}

void CvQtTrayIconHost::OnTimer(int id) {
    std::function<void(int)> timer;
    {
        std::lock_guard guard(m_eventsLock);
        timer = m_events.timer;
    }
    if (timer) {
        timer(id);
    }
}

void CvQtTrayIconHost::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    long message = 0;
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            message = CvTrayIcon::kLeftButtonDown;
            break;
        case QSystemTrayIcon::DoubleClick:
            message = CvTrayIcon::kLeftButtonDoubleClick;
            break;
        case QSystemTrayIcon::Context:
            message = CvTrayIcon::kRightButtonUp;
            break;
        default:
            return;
    }
    Deliver(message, 0, 0);
}

void CvQtTrayIconHost::Deliver(long message, int x, int y) {
    std::function<void(long, int, int)> mouse;
    {
        std::lock_guard guard(m_eventsLock);
        mouse = m_events.mouse;
    }
    if (mouse) {
        mouse(message, x, y);
    }
}
