#include "app/CvTrayIconManager.h"

#include <vector>

#include "app/CvFormatMessage.h"
#include "app/CvLangTexts.h"

namespace {

constexpr int32_t kPersonal = 1;
constexpr int32_t kGroup = 2;
constexpr int32_t kNoInterface = 1;
constexpr int32_t kRegistered = 4;

}  // namespace

CvTrayIconManager::CvTrayIconManager(CvTrayIconHost& host) : m_icon(host) {}

CvTrayIconManager::~CvTrayIconManager() {
    Shutdown();
}

void CvTrayIconManager::SetNames(std::string computerName, std::string userName,
                                 std::string domainName) {
    m_computerName = std::move(computerName);
    m_userName = std::move(userName);
    m_domainName = std::move(domainName);
}

void CvTrayIconManager::SetTexts(const CvLangTexts& texts) {
    m_title = texts.GetText(401);
    m_registering = texts.GetText(402);
    m_online = texts.GetText(403);
    m_networkNotFound = texts.GetText(404);
    m_countsFormat = texts.GetText(407);
    m_unreadFormat = texts.GetText(408);
    m_totalFormat = texts.GetText(409);
}

void CvTrayIconManager::SetMouseListener(CvUnaryFunction<void, long>* listener) {
    m_icon.SetMouseListener(listener);
}

void CvTrayIconManager::SetHoverListener(CvNullaryFunction<void>* listener) {
    m_icon.SetHoverListener(listener);
}

void CvTrayIconManager::Start() {
    if (m_thread) {
        return;
    }
    m_icon.SetIcon(kIconOffline);
    m_icon.SetAlternateIcon(kIconAlternate);
    m_icon.SetTip(m_title);
    if (!m_iconDisabled) {
        m_icon.Show();
    }
    m_thread = std::make_unique<CvClassThread<CvTrayIconManager>>(this, &CvTrayIconManager::Thread);
    m_thread->Start();
}

void CvTrayIconManager::Shutdown() {
    if (m_thread) {
        m_thread->StopAndWait();
        m_thread.reset();
    }
    if (m_icon.IsShown()) {
        m_icon.Hide();
    }
}

void CvTrayIconManager::Blink() {
    if (!m_iconDisabled) {
        m_icon.StartBlinking();
    }
}

void CvTrayIconManager::StopBlinkingAfter(int steps) {
    if (!m_iconDisabled) {
        m_icon.StopBlinkingAfter(steps);
    }
}

void CvTrayIconManager::Thread(CvThread* thread) {
    while (!thread->IsStopRequested()) {
        Update();
        thread->WaitForStop(kUpdatePeriodMs);
    }
}

void CvTrayIconManager::Update() {
    auto state = [this](const std::string& name, int32_t kind) {
        return m_states != nullptr && !name.empty() ? (*m_states)(name, kind) : 0;
    };
    const int32_t userState = state(m_userName, kPersonal);
    const int32_t computerState = state(m_computerName, kPersonal);
    const int32_t domainState = state(m_domainName, kGroup);

    std::string names;
    for (const auto& [name, nameState] : {std::pair{&m_userName, userState},
                                          {&m_computerName, computerState},
                                          {&m_domainName, domainState}}) {
        if (nameState == kRegistered) {
            names += (names.empty() ? "" : ", ") + *name;
        }
    }
    std::string tip;
    int icon = kIconOffline;
    if (userState == kRegistered || computerState == kRegistered) {
        tip = m_online + "\n(" + names + ")";
        icon = kIconOnline;
    } else if (computerState == kNoInterface) {
        tip = m_networkNotFound;
    } else {
        tip = m_registering;
    }
    if (m_counts != nullptr) {
        int total = 0;
        int unread = 0;
        (*m_counts)(total, unread);
        if (total > 0) {
            tip +=
                "\n" + CvFormatMessage(m_countsFormat,
                                       {CvFormatMessage(m_totalFormat, {std::to_string(total)}),
                                        CvFormatMessage(m_unreadFormat, {std::to_string(unread)})});
        }
    }
    {
        std::lock_guard guard(m_tipLock);
        m_lastTip = tip;
    }
    m_icon.SetTip(tip);
    m_icon.SetIcon(icon);
}

std::string CvTrayIconManager::LastTip() {
    std::lock_guard guard(m_tipLock);
    return m_lastTip;
}
