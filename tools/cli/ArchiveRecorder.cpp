#include "tools/cli/ArchiveRecorder.h"

#include "app/CvAppPaths.h"
#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"

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
    paths.CreateStorageFolders();
    const std::string file = paths.MessageArchiveFile(settings);
    std::lock_guard guard(m_lock);
    m_open = m_archive.Open(file);
    if (!m_open) {
        *why = "cannot open the message archive \"" + file + "\"";
    }
    return m_open;
}

void ArchiveRecorder::StoreReceived(const CMsg& msg) {
    std::lock_guard guard(m_lock);
    if (m_open) {
        m_archive.StoreReceived(msg);
    }
}

void ArchiveRecorder::StoreSent(const CMsg& msg) {
    std::lock_guard guard(m_lock);
    if (m_open) {
        m_archive.StoreSent(msg);
    }
}
