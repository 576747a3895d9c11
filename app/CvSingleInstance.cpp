#include "app/CvSingleInstance.h"

#include "platform/CvStationNames.h"

CvSingleInstance::CvSingleInstance()
    : m_presence(CvInstanceLock::kPresenceName, CvInstanceLock::Mode::Shared) {}

bool CvSingleInstance::Start(const std::string& userName) {
    m_presence.TryAcquire();
    m_perUser.emplace(
        CvInstanceLock::PerUserName(userName.empty() ? CvStationNames::UserName() : userName));
    return m_perUser->TryAcquire();
}
