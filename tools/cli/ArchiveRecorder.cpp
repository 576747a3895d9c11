#include "tools/cli/ArchiveRecorder.h"

#include <chrono>
#include <thread>

#include "app/CvAppPaths.h"
#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "tools/cli/ArchiveConsole.h"

bool ArchiveRecorder::Open(std::string* why) {
    std::lock_guard guard(m_lock);
    m_open = OpenUserArchive(m_archive, why);
    return m_open;
}

bool ArchiveRecorder::OpenUserArchive(CvMsgArchive& archive, std::string* why) {
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
    if (!archive.Open(file)) {
        *why = ArchiveConsole::OpenProblem(file, folderProblem, archive);
        return false;
    }
    return true;
}

void ArchiveRecorder::StoreSent(const CMsg& msg) {
    std::lock_guard guard(m_lock);
    if (m_open) {
        m_backlog.Store(m_archive, {{msg, false}});
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
