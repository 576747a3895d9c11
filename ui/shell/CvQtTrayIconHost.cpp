#include "ui/shell/CvQtTrayIconHost.h"

#include <QCursor>
#include <QThread>
#include <QTimer>

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
        QMetaObject::invokeMethod(this, [this] { m_tray.hide(); }, Qt::QueuedConnection);
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

bool CvQtTrayIconHost::CursorOverIcon(int& x, int& y) {
    const QRect place = m_tray.geometry();
    if (!m_tray.isVisible() || place.isEmpty()) {
        return false;
    }
    const QPoint cursor = QCursor::pos();
    x = cursor.x();
    y = cursor.y();
    return place.contains(cursor);
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
    std::function<void(long)> mouse;
    {
        std::lock_guard guard(m_eventsLock);
        mouse = m_events.mouse;
    }
    if (mouse) {
        mouse(message);
    }
}
