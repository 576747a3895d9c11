#include "app/CvTrayIcon.h"

#include "platform/CvTextCodec.h"
#include "platform/CvTrayIconHost.h"

CvTrayIcon::CvTrayIcon(CvTrayIconHost& host) : m_host(host) {
    m_host.SetEvents({[this](int id) { OnTimer(id); },
                      [this](long message, int x, int y) { OnMouse(message, x, y); }});
}

CvTrayIcon::~CvTrayIcon() {
    m_host.StopTimer(kBlinkTimer);
    m_host.StopTimer(kHoverTimer);
    m_host.SetEvents({});
}

void CvTrayIcon::ShowLocked() {
    const std::string tip = CvText::CutToCodePoints(m_tip, kMaxTipLength);
    if (!m_host.Modify(m_currentIcon, tip)) {
        m_host.Add(m_currentIcon, tip);
    }
    m_shown = true;
}

void CvTrayIcon::Show() {
    std::lock_guard guard(m_lock);
    ShowLocked();
}

void CvTrayIcon::Hide() {
    std::lock_guard guard(m_lock);
    m_host.Remove();
    m_shown = false;
}

void CvTrayIcon::SetIcon(int icon) {
    std::lock_guard guard(m_lock);
    m_normalIcon = icon;
    m_currentIcon = icon;
    if (m_shown && !m_blinking) {
        ShowLocked();
    }
}

void CvTrayIcon::SetAlternateIcon(int icon) {
    std::lock_guard guard(m_lock);
    m_alternateIcon = icon;
}

void CvTrayIcon::SetTip(const std::string& tip) {
    std::lock_guard guard(m_lock);
    m_tip = tip;
    if (m_shown && !m_blinking) {
        ShowLocked();
    }
}

void CvTrayIcon::StartBlinking() {
    std::lock_guard guard(m_lock);
    m_blinkCount = 0;
    m_blinkLimit = 0;
    m_host.StartTimer(kBlinkTimer, kBlinkPeriodMs);
    m_blinking = true;
}

void CvTrayIcon::StopBlinkingAfter(int steps) {
    std::lock_guard guard(m_lock);
    if (m_blinkLimit == 0) {
        m_blinkCount = 0;
        m_blinkLimit = steps;
    }
}

void CvTrayIcon::OnMouse(long message, int x, int y) {
    CvUnaryFunction<void, long>* listener = nullptr;
    {
        std::lock_guard guard(m_lock);
        if (message == kMouseMove) {
            // The hover timer runs only while the cursor is over the icon:
            // an idle program has nothing to look at.
            if (!m_tracking) {
                m_host.StartTimer(kHoverTimer, kHoverPeriodMs);
            }
            m_tracking = true;
            m_cursorX = x;
            m_cursorY = y;
            m_stillTicks = 0;
        }
        listener = m_mouseListener;
    }
    if (listener != nullptr) {
        (*listener)(message);
    }
}

void CvTrayIcon::OnTimer(int id) {
    if (id == kBlinkTimer) {
        std::lock_guard guard(m_lock);
        ++m_blinkCount;
        if (m_blinkLimit == 0 || m_blinkCount <= m_blinkLimit) {
            m_currentIcon = m_blinkCount % 2 == 0 ? m_alternateIcon : m_normalIcon;
        } else {
            m_host.StopTimer(kBlinkTimer);
            m_currentIcon = m_normalIcon;
            m_blinking = false;
        }
        ShowLocked();
        return;
    }
    if (id != kHoverTimer) {
        return;
    }
    int x = 0;
    int y = 0;
    const bool known = m_host.CursorPosition(x, y);
    CvNullaryFunction<void>* hover = nullptr;
    {
        std::lock_guard guard(m_lock);
        if (!m_tracking || !known || x != m_cursorX || y != m_cursorY) {
            m_tracking = false;
            m_hoverReported = false;
            m_host.StopTimer(kHoverTimer);
            return;
        }
        if (++m_stillTicks > 3) {
            m_stillTicks = 0;
            if (!m_hoverReported) {
                m_hoverReported = true;
                hover = m_hoverListener;
            }
        }
    }
    if (hover != nullptr) {
        (*hover)();
    }
}

void CvTrayIcon::SetMouseListener(CvUnaryFunction<void, long>* listener) {
    std::lock_guard guard(m_lock);
    m_mouseListener = listener;
}

void CvTrayIcon::SetHoverListener(CvNullaryFunction<void>* listener) {
    std::lock_guard guard(m_lock);
    m_hoverListener = listener;
}

bool CvTrayIcon::IsShown() {
    std::lock_guard guard(m_lock);
    return m_shown;
}

bool CvTrayIcon::IsBlinking() {
    std::lock_guard guard(m_lock);
    return m_blinking;
}

int CvTrayIcon::CurrentIcon() {
    std::lock_guard guard(m_lock);
    return m_currentIcon;
}

std::string CvTrayIcon::Tip() {
    std::lock_guard guard(m_lock);
    return m_tip;
}
