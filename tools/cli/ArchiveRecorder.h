#pragma once

#include <mutex>
#include <string>

#include "app/CvMemberFunction.h"
#include "messaging/CMsg.h"
#include "storage/CvMsgArchive.h"

// Files the messages a command-line station receives and sends into the
// user's message archive, from any thread. Does nothing when the archive is
// disabled (MsgArcDisabled) or cannot be opened.
class ArchiveRecorder {
public:
    // Opens the archive of the user's settings; false (with `why` set) when
    // archiving is disabled or the file cannot be opened.
    bool Open(std::string* why);

    void StoreReceived(const CMsg& msg);
    void StoreSent(const CMsg& msg);

    // For CvStation::SetSentReceiver.
    CvVoidUnaryMemberFunction<ArchiveRecorder, CMsg&> sentReceiver{this, &ArchiveRecorder::OnSent};

private:
    void OnSent(CMsg& msg) { StoreSent(msg); }

    std::mutex m_lock;
    bool m_open = false;
    CvMsgArchive m_archive;
};
