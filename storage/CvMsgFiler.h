#pragma once

#include <cstdint>
#include <string>

#include "app/CvFunction.h"

class CvMsgArchive;
class CvMsgQueue;
class CvPopupList;

// What the user interface thread does with the records the transport and
// send threads queued: received messages go to the popup list and the
// archive, sent ones to the archive. The station's own broadcasts may be
// dropped first.
class CvMsgFiler {
public:
    // The registration state of one of the station's personal names.
    using NameState = CvUnaryFunction<int32_t, const std::string&>;

    struct Result {
        int kept = 0;          // records filed
        int32_t lastType = 0;  // message type of the last one filed
    };

    CvMsgFiler(CvMsgQueue& received, CvMsgQueue& sent, CvPopupList& popupList);

    // Null (the default) files nothing in an archive.
    void SetArchive(CvMsgArchive* archive) { m_archive = archive; }
    // Broadcasts signed with `userName` or `computerName` (letter case
    // ignored) are dropped while `discard` is set and that name is registered
    // on every adapter (`state` answers 4). Not owned.
    void SetOwnBroadcastFilter(bool discard, std::string userName, std::string computerName,
                               NameState* state);
    void SetDiscardOwnBroadcasts(bool discard) { m_discardOwn = discard; }

    // Takes every received record: stamps it with the current local time,
    // appends it to the popup list and files it. The archive views are told
    // once, when at least one record was filed.
    Result DrainReceived();
    // Takes every sent record and files it with its own time.
    int DrainSent();

private:
    bool IsOwnBroadcast(const std::string& sender);

    CvMsgQueue& m_received;
    CvMsgQueue& m_sent;
    CvPopupList& m_popupList;
    CvMsgArchive* m_archive = nullptr;
    bool m_discardOwn = false;
    std::string m_userName;
    std::string m_computerName;
    NameState* m_state = nullptr;
};
