#pragma once

#include <mutex>
#include <string>

#include "app/CvFunction.h"

class CvTrayIconHost;

// The program's icon in the notification area: picture and tip, blinking
// between the normal and an alternate picture, and hover detection. The
// tray's thread sets the tip and the picture while the user interface thread
// runs the timers, so the state is locked; listeners run without the lock.
class CvTrayIcon {
public:
    static constexpr int kBlinkTimer = 1;
    static constexpr int kHoverTimer = 2;
    static constexpr uint32_t kBlinkPeriodMs = 500;
    static constexpr uint32_t kHoverPeriodMs = 200;
    static constexpr size_t kMaxTipLength = 127;  // code points
    // The icon's mouse messages passed to the mouse listener.
    static constexpr long kMouseMove = 0x200;
    static constexpr long kLeftButtonDown = 0x201;
    static constexpr long kLeftButtonDoubleClick = 0x203;
    static constexpr long kRightButtonUp = 0x205;

    // Takes the host's events. The host must outlive the icon.
    explicit CvTrayIcon(CvTrayIconHost& host);
    // Stops the timers.
    ~CvTrayIcon();
    CvTrayIcon(const CvTrayIcon&) = delete;
    CvTrayIcon& operator=(const CvTrayIcon&) = delete;

    // Shows the current picture and tip (cut to 127 code points): changes
    // the icon in place, or adds it when it is not there.
    void Show();
    void Hide();
    // The normal (and current) picture; shown at once unless blinking.
    void SetIcon(int icon);
    void SetAlternateIcon(int icon);
    // Shown at once unless blinking; a blinking icon shows it at its next step.
    void SetTip(const std::string& tip);

    // Blinks without limit.
    void StartBlinking();
    // Lets the blinking end after `steps` more steps, unless a limit is set
    // already.
    void StopBlinkingAfter(int steps);

    // The icon's mouse message (kMouseMove, kLeftButtonDown, ...); `x`, `y`
    // is the cursor for a move. A move starts the hover timer, which checks
    // every 200 ms whether the cursor rests there and stops when it left.
    void OnMouse(long message, int x = 0, int y = 0);
    void OnTimer(int id);

    // Not owned; null for none.
    void SetMouseListener(CvUnaryFunction<void, long>* listener);
    void SetHoverListener(CvNullaryFunction<void>* listener);

    bool IsShown();
    bool IsBlinking();
    int CurrentIcon();
    std::string Tip();

private:
    void ShowLocked();

    CvTrayIconHost& m_host;
    std::mutex m_lock;

    bool m_tracking = false;
    int m_cursorX = 0;
    int m_cursorY = 0;
    int m_stillTicks = 0;
    bool m_hoverReported = false;

    int m_blinkCount = 0;
    int m_blinkLimit = 0;
    bool m_blinking = false;
    bool m_shown = false;

    std::string m_tip;
    int m_normalIcon = 0;
    int m_alternateIcon = 0;
    int m_currentIcon = 0;

    CvUnaryFunction<void, long>* m_mouseListener = nullptr;
    CvNullaryFunction<void>* m_hoverListener = nullptr;
};
