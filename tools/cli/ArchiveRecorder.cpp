#include "tools/cli/ArchiveRecorder.h"

#include <chrono>
#include <thread>

#include "app/CvAppPaths.h"
#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "tools/cli/ArchiveConsole.h"

bool ArchiveRecorder::Open(std::string* why) {
    const CvAppPaths paths = CvAppPaths::Detect();
    CvAppPropertyList settings;
    CvAppSettingsStore store(paths);
    store.SetInspectOnly(true);
    store.Load(settings, nullptr);
    if (settings.Get(CvSettingId::kMsgArcDisabled).GetInt() != 0) {
        *why = "the message archive is disabled (MsgArcDisabled)";
        return false;
    }
    const std::string folderProblem = paths.CreateStorageFolders();
    const std::string file = paths.MessageArchiveFile(settings);
    std::lock_guard guard(m_lock);
    m_open = m_archive.Open(file);
    if (!m_open) {
        *why = ArchiveConsole::OpenProblem(file, folderProblem, m_archive);
    }
    return m_open;
}

void ArchiveRecorder::StoreReceived(const CMsg& msg) {
    Store(msg, true);
}

void ArchiveRecorder::StoreSent(const CMsg& msg) {
    Store(msg, false);
}

void ArchiveRecorder::Store(const CMsg& msg, bool received) {
    std::lock_guard guard(m_lock);
    if (m_open) {
        m_backlog.Store(m_archive, {{msg, received}});
    }
}

void ArchiveRecorder::Retry() {
    std::lock_guard guard(m_lock);
    if (m_open && m_backlog.PendingCount() > 0) {
        m_backlog.Retry(m_archive);
    }
}

bool ArchiveRecorder::Flush(uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard guard(m_lock);
            if (!m_open || m_backlog.Flush(m_archive)) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}
