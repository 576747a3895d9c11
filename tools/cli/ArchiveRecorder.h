#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "messaging/CMsg.h"
#include "storage/CvArchiveBacklog.h"
#include "storage/CvMsgArchive.h"

// Files what a one-off command-line station sent (corvane send without a
// running station) into the user's message archive. Does nothing when the
// archive is disabled (MsgArcDisabled) or cannot be opened. Messages the file
// does not take at once (another program holds its lock) wait in a bounded
// backlog (CvArchiveBacklog) until Flush files them. A running
// station files through its CvStationHost instead.
class ArchiveRecorder {
public:
    // Opens the archive of the user's settings; false (with `why` set) when
    // archiving is disabled or the file cannot be opened.
    bool Open(std::string* why);
    // The same for `archive`, which a station host then keeps.
    static bool OpenUserArchive(CvMsgArchive& archive, std::string* why);

    void StoreSent(const CMsg& msg);
    // Tries to file the waiting messages until none waits or `timeoutMs`
    // passed; true when none waits. What still waits is lost when the
    // recorder goes, and said so on standard error.
    bool Flush(uint32_t timeoutMs);

private:
    std::mutex m_lock;
    bool m_open = false;
    CvMsgArchive m_archive;
    CvArchiveBacklog m_backlog;
};
