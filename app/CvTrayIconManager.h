#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "app/CvClassThread.h"
#include "app/CvFunction.h"
#include "app/CvTrayIcon.h"

class CvLangTexts;
class CvTrayIconHost;

// Keeps the tray icon's picture and tip in step with the registration of the
// station's names and the count of received messages: a thread updates them
// every five seconds.
class CvTrayIconManager {
public:
    // Picture numbers handed to the host.
    static constexpr int kIconOnline = 201;
    static constexpr int kIconOffline = 202;
    static constexpr int kIconAlternate = 196;
    static constexpr uint32_t kUpdatePeriodMs = 5000;

    // Registration state of a name (1 no interface, 3 not everywhere, 4
    // everywhere) by name and kind (1 personal, 2 group).
    using NameStates = CvBinaryFunction<int32_t, const std::string&, int32_t>;
    // Total and unread messages.
    using Counts = CvBinaryFunction<void, int&, int&>;

    // The host must outlive the manager.
    explicit CvTrayIconManager(CvTrayIconHost& host);
    // Stops the thread.
    ~CvTrayIconManager();
    CvTrayIconManager(const CvTrayIconManager&) = delete;
    CvTrayIconManager& operator=(const CvTrayIconManager&) = delete;

    // Before Start: the station's names (upper case), whether the icon is
    // disabled (TrayIconDisabled: never shown, blinking ignored), the texts,
    // and the two bindings (not owned; null for none).
    void SetNames(std::string computerName, std::string userName, std::string domainName);
    void SetIconDisabled(bool disabled) { m_iconDisabled = disabled; }
    void SetTexts(const CvLangTexts& texts);
    void SetNameStates(NameStates* states) { m_states = states; }
    void SetCounts(Counts* counts) { m_counts = counts; }
    void SetMouseListener(CvUnaryFunction<void, long>* listener);
    void SetHoverListener(CvNullaryFunction<void>* listener);

    // Shows the icon (unless disabled) and starts the thread.
    void Start();
    // Removes the icon and stops the thread.
    void Shutdown();

    void Blink();
    void StopBlinkingAfter(int steps);

    // One update of tip and picture (what the thread does every period).
    void Update();
    // The tip of the last update.
    std::string LastTip();

    CvTrayIcon& Icon() { return m_icon; }

private:
    void Thread(CvThread* thread);

    CvTrayIcon m_icon;
    bool m_iconDisabled = false;
    std::string m_computerName;
    std::string m_userName;
    std::string m_domainName;

    std::string m_title;
    std::string m_online;
    std::string m_registering;
    std::string m_networkNotFound;
    std::string m_countsFormat;
    std::string m_unreadFormat;
    std::string m_totalFormat;

    NameStates* m_states = nullptr;
    Counts* m_counts = nullptr;

    std::mutex m_tipLock;
    std::string m_lastTip;
    std::unique_ptr<CvClassThread<CvTrayIconManager>> m_thread;
};
