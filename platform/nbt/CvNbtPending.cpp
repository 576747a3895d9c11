#include "platform/nbt/CvNbtPending.h"

#include <vector>

#include "platform/CvEvent.h"

void CvNbtPending::Begin(CvNcb& ncb, CvEvent* syncDone) {
    m_commands[&ncb] = Command{syncDone, {}};
}

void CvNbtPending::SetDetach(CvNcb& ncb, std::function<void()> detach) {
    auto it = m_commands.find(&ncb);
    if (it != m_commands.end()) {
        it->second.detach = std::move(detach);
    }
}

void CvNbtPending::Complete(CvNcb& ncb, uint8_t code) {
    auto it = m_commands.find(&ncb);
    if (it == m_commands.end()) {
        return;
    }
    CvEvent* syncDone = it->second.syncDone;
    // The detach function may own the NCB; it goes after the last use.
    auto keep = std::move(it->second.detach);
    m_commands.erase(it);
    CvEvent* event = ncb.event;
    ncb.cmdCplt = code;
    ncb.retcode = code;
    // After this the issuer may free the NCB: touch nothing of it below.
    if (syncDone != nullptr) {
        syncDone->Set();
    } else if (event != nullptr) {
        event->Set();
    }
}

bool CvNbtPending::Cancel(CvNcb* ncb) {
    auto it = m_commands.find(ncb);
    if (it == m_commands.end()) {
        return false;
    }
    auto detach = std::move(it->second.detach);
    if (detach) {
        detach();
    }
    Complete(*ncb, kNrcCmdCan);
    return true;
}

void CvNbtPending::CompleteAll(uint8_t code) {
    while (!m_commands.empty()) {
        auto it = m_commands.begin();
        CvNcb* ncb = const_cast<CvNcb*>(it->first);
        auto detach = std::move(it->second.detach);
        if (detach) {
            detach();
        }
        Complete(*ncb, code);
    }
}

void CvNbtPending::CompleteWhere(const std::function<bool(const CvNcb&)>& match, uint8_t code) {
    std::vector<CvNcb*> matched;
    for (const auto& [ncb, command] : m_commands) {
        if (match(*ncb)) {
            matched.push_back(const_cast<CvNcb*>(ncb));
        }
    }
    for (CvNcb* ncb : matched) {
        auto it = m_commands.find(ncb);
        if (it == m_commands.end()) {
            continue;
        }
        auto detach = std::move(it->second.detach);
        if (detach) {
            detach();
        }
        Complete(*ncb, code);
    }
}
