#include "platform/CvNetbiosGate.h"

#include <vector>

#include "platform/CvEvent.h"

uint8_t CvNetbiosGate::Submit(CvNcb& ncb) {
    const uint8_t command = ncb.command & static_cast<uint8_t>(~kNcbAsync);
    const bool async = (ncb.command & kNcbAsync) != 0;
    if (command == kNcbCancel) {
        const uint8_t code = m_provider.Submit(ncb);
        std::lock_guard guard(m_lock);
        m_pending.erase(ncb.cancelTarget);
        return code;
    }
    if (!async) {
        {
            std::lock_guard guard(m_lock);
            if (m_closed && !PassesWhenClosed(command)) {
                ncb.retcode = kNrcEnvNotDef;
                ncb.cmdCplt = kNrcEnvNotDef;
                return kNrcEnvNotDef;
            }
        }
        // Synchronous commands are bounded by the provider; they are not held
        // under the lock, which Close needs.
        return m_provider.Submit(ncb);
    }
    // Queued under the lock, so that Close either sees the command pending or
    // has refused it.
    std::lock_guard guard(m_lock);
    if (m_closed && !PassesWhenClosed(command)) {
        ncb.retcode = kNrcEnvNotDef;
        ncb.cmdCplt = kNrcEnvNotDef;
        if (ncb.event != nullptr) {
            ncb.event->Set();
        }
        return kNrcEnvNotDef;
    }
    const uint8_t code = m_provider.Submit(ncb);
    if (code == kNrcPending) {
        m_pending[&ncb] = ncb.lana;
    }
    return code;
}

void CvNetbiosGate::Close() {
    std::map<CvNcb*, uint8_t> pending;
    {
        std::lock_guard guard(m_lock);
        m_closed = true;
        pending.swap(m_pending);
    }
    // The provider only compares the target's address with its own pending
    // commands, so a target that completed and went away meanwhile is harmless.
    for (const auto& [target, lana] : pending) {
        CvNcb cancel;
        cancel.command = kNcbCancel;
        cancel.lana = lana;
        cancel.cancelTarget = target;
        m_provider.Submit(cancel);
    }
}

bool CvNetbiosGate::IsClosed() const {
    std::lock_guard guard(m_lock);
    return m_closed;
}

size_t CvNetbiosGate::TrackedCount() const {
    std::lock_guard guard(m_lock);
    return m_pending.size();
}

bool CvNetbiosGate::PassesWhenClosed(uint8_t command) {
    return command == kNcbHangUp || command == kNcbDeleteName || command == kNcbEnum;
}
