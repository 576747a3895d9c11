#include "app/CvSingleInstance.h"

#include "platform/CvStationNames.h"

CvSingleInstance::CvSingleInstance()
    : m_presence(CvInstanceLock::kPresenceName, CvInstanceLock::Mode::Shared) {}

std::string CvSingleInstance::DesktopLockName(const std::string& userName) {
    return CvInstanceLock::PerUserName(userName) + ".DESKTOP";
}

bool CvSingleInstance::Start(const std::string& userName, Role role) {
    m_presence.TryAcquire();
    const std::string user = userName.empty() ? CvStationNames::UserName() : userName;
    m_desktopRuns = false;
    m_problem.clear();
    if (role == Role::Desktop) {
        // First the desktop's own lock: a second desktop start learns that
        // it is the second one before it touches the station's lock.
        m_desktop.emplace(DesktopLockName(user));
        if (!m_desktop->TryAcquire()) {
            m_problem = m_desktop->Problem();
            m_desktopRuns = m_problem.empty();
            return false;
        }
    }
    m_perUser.emplace(CvInstanceLock::PerUserName(user));
    if (m_perUser->TryAcquire()) {
        return true;
    }
    m_problem = m_perUser->Problem();
    if (role == Role::Desktop) {
        m_desktop->Release();
    } else if (m_problem.empty()) {
        CvInstanceLock probe(DesktopLockName(user));
        m_desktopRuns = !probe.TryAcquire() && probe.Problem().empty();
    }
    return false;
}
