#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/CvFunction.h"
#include "storage/CvArchiveBacklog.h"

class CvMsgArchive;
class CvMsgQueue;
class CvPopupList;

// What the owner's thread does with the records the transport and send
// threads queued: received messages go to the popup list (the desktop's) and
// the archive, sent ones to the archive; each with the time it carries (a
// received one: when it arrived). The station's own broadcasts may be
// dropped first. Records the archive file does not take at once (another
// program holds its lock) wait in a bounded backlog (CvArchiveBacklog) and
// are filed by the next drain or RetryArchive, in their order.
class CvMsgFiler {
public:
    // The registration state of one of the station's personal names.
    using NameState = CvUnaryFunction<int32_t, const std::string&>;

    struct Result {
        int kept = 0;          // records filed
        int32_t lastType = 0;  // message type of the last one filed
        bool more = false;     // records beyond the limit still wait
    };

    // `popupList` may be null (nothing shown).
    CvMsgFiler(CvMsgQueue& received, CvMsgQueue& sent, CvPopupList* popupList);

    // Null (the default) files nothing in an archive; records still waiting
    // for the file are then dropped.
    void SetArchive(CvMsgArchive* archive);
    // Broadcasts signed with `userName` or `computerName` (letter case
    // ignored) are dropped while `discard` is set and that name is registered
    // on every adapter (`state` answers 4). Not owned.
    void SetOwnBroadcastFilter(bool discard, std::string userName, std::string computerName,
                               NameState* state);
    void SetDiscardOwnBroadcasts(bool discard) { m_discardOwn = discard; }

    // Takes the received records, at most `limit` of them, appends them to
    // the popup list and files them in one batch. The archive views are
    // told once, when at least one record was filed.
    Result DrainReceived(size_t limit = SIZE_MAX);
    // Takes every sent record and files it with its own time.
    int DrainSent();

    // Files the records waiting for the archive file when their pause is
    // over, cheap otherwise: call it periodically while ArchivePending() is
    // non-zero. True when none waits.
    bool RetryArchive();
    // Files the waiting records now, before the archive closes. True when
    // none waits; what still waits is lost when the filer goes, and said so
    // on standard error.
    bool FlushArchive();
    size_t ArchivePending() const { return m_backlog.PendingCount(); }

private:
    bool IsOwnBroadcast(const std::string& sender);

    CvMsgQueue& m_received;
    CvMsgQueue& m_sent;
    CvPopupList* m_popupList;
    CvMsgArchive* m_archive = nullptr;
    CvArchiveBacklog m_backlog;
    bool m_discardOwn = false;
    std::string m_userName;
    std::string m_computerName;
    NameState* m_state = nullptr;
};
