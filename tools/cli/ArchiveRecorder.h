#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "app/CvMemberFunction.h"
#include "messaging/CMsg.h"
#include "storage/CvArchiveBacklog.h"
#include "storage/CvMsgArchive.h"

// Files the messages a command-line station receives and sends into the
// user's message archive, from any thread. Does nothing when the archive is
// disabled (MsgArcDisabled) or cannot be opened. Messages the file does not
// take at once (another program holds its lock) wait in a bounded backlog
// (CvArchiveBacklog) until Retry or Flush files them.
class ArchiveRecorder {
public:
    // Opens the archive of the user's settings; false (with `why` set) when
    // archiving is disabled or the file cannot be opened.
    bool Open(std::string* why);

    // A received message is filed with msg.time as its time of arrival.
    void StoreReceived(const CMsg& msg);
    void StoreSent(const CMsg& msg);
    // Files the waiting messages when their pause is over; cheap otherwise,
    // so the owner may call it often.
    void Retry();
    // Tries to file the waiting messages until none waits or `timeoutMs`
    // passed; true when none waits. What still waits is lost when the
    // recorder goes, and said so on standard error.
    bool Flush(uint32_t timeoutMs);

    // For CvStation::SetSentReceiver.
    CvVoidUnaryMemberFunction<ArchiveRecorder, CMsg&> sentReceiver{this, &ArchiveRecorder::OnSent};

private:
    void OnSent(CMsg& msg) { StoreSent(msg); }
    void Store(const CMsg& msg, bool received);

    std::mutex m_lock;
    bool m_open = false;
    CvMsgArchive m_archive;
    CvArchiveBacklog m_backlog;
};
