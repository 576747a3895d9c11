#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

#include <atomic>
#include <map>
#include <mutex>

#include "platform/CvTrayIconHost.h"

class QTimer;

// The tray icon on Qt's system tray icon: StatusNotifierItem where the
// session has a watcher, the XEmbed tray otherwise. Calls from other threads
// are passed to the user interface thread. Qt reports clicks; the pointer
// moving over the icon is seen only in the XEmbed tray, where the icon is a
// window of this program (the StatusNotifierItem host draws the icon itself
// and tells nothing).
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
    bool CursorPosition(int& x, int& y) override;

    // The picture of an icon number (the tray manager's numbers).
    static QIcon Picture(int icon);
    QSystemTrayIcon& TrayIcon() { return m_tray; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Apply(int icon, const std::string& tip, bool show);
    void WatchIconWindow();
    void Deliver(long message, int x, int y);
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void OnTimer(int id);

    QSystemTrayIcon m_tray;
    std::atomic<bool> m_added{false};
    std::mutex m_eventsLock;
    Events m_events;
    std::map<int, QTimer*> m_timers;
    QPointer<QWidget> m_iconWindow;
};
