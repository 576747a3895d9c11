#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

#include <atomic>
#include <map>
#include <mutex>

#include "platform/CvTrayIconHost.h"

class QTimer;

// The tray icon on Qt's system tray icon: StatusNotifierItem where the
// session has a watcher, the XEmbed tray otherwise. Calls from other threads
// are passed to the user interface thread. Qt reports clicks but no mouse
// moves over the icon; where it knows the icon's place (XEmbed) the cursor
// can be compared with it.
class CvQtTrayIconHost : public QObject, public CvTrayIconHost {
    Q_OBJECT
public:
    explicit CvQtTrayIconHost(QObject* parent = nullptr);
    ~CvQtTrayIconHost() override;

    void SetEvents(Events events) override;
    bool Modify(int icon, const std::string& tip) override;
    bool Add(int icon, const std::string& tip) override;
    void Remove() override;
    void StartTimer(int id, uint32_t ms) override;
    void StopTimer(int id) override;
    bool CursorOverIcon(int& x, int& y) override;

    // The picture of an icon number (the tray manager's numbers).
    static QIcon Picture(int icon);
    QSystemTrayIcon& TrayIcon() { return m_tray; }

private:
    void Apply(int icon, const std::string& tip, bool show);
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void OnTimer(int id);

    QSystemTrayIcon m_tray;
    std::atomic<bool> m_added{false};
    std::mutex m_eventsLock;
    Events m_events;
    std::map<int, QTimer*> m_timers;
};
