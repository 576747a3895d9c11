#include "messaging/CvSmbStateWatch.h"

#include <mutex>

#include "messaging/CvSmbMessagingClient.h"

namespace {

int32_t StateOf(const CvSmbMessagingClient::PortCount& count) {
    if (count.interfaces == 0) {
        return NameStateNoInterface;
    }
    if (count.conflicting != 0) {
        return NameStateConflict;
    }
    if (count.opened == count.total && count.total == count.interfaces) {
        return NameStateRegistered;
    }
    return NameStatePartial;
}

}  // namespace

void CvSmbStateWatch::Start() {
    if (!m_thread) {
        m_thread = std::make_unique<CvThreadClassFunction<CvSmbStateWatch>>(
            this, &CvSmbStateWatch::WatchThread);
        m_thread->Start();
    }
}

void CvSmbStateWatch::Stop() {
    m_thread.reset();
}

void CvSmbStateWatch::Update() {
    if (m_client == nullptr) {
        return;
    }
    const auto personal = m_client->PersonalNames();
    const auto group = m_client->GroupNames();
    std::vector<CvSmbMessagingClient::PortCount> personalCounts;
    std::vector<CvSmbMessagingClient::PortCount> groupCounts;
    m_client->CountPorts(personal, group, personalCounts, groupCounts);

    std::lock_guard guard(m_lock);
    for (size_t i = 0; i < personal.size(); ++i) {
        m_personal[personal[i]] = StateOf(personalCounts[i]);
    }
    for (size_t i = 0; i < group.size(); ++i) {
        m_group[group[i]] = StateOf(groupCounts[i]);
    }
}

int32_t CvSmbStateWatch::GetNameState(const std::string& name, int32_t kind) {
    std::lock_guard guard(m_lock);
    if (m_client == nullptr) {
        return NameStateNoClient;
    }
    const auto& states = kind == 1 ? m_personal : m_group;
    const auto found = states.find(name);
    return found == states.end() ? NameStateUnknown : found->second;
}

void CvSmbStateWatch::WatchThread(CvThread* thread) {
    while (!thread->IsStopRequested()) {
        Update();
        thread->WaitForStop(m_periodMs);
    }
}
