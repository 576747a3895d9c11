#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "messaging/CMsg.h"
#include "storage/CvArchiveDialogues.h"
#include "storage/CvArchiveReader.h"
#include "storage/CvDatabase2.h"
#include "storage/CvDbDataSet.h"
#include "storage/CvDbScriptEntry.h"

// The message archive file: table `messages`, one row per received or sent
// message, read through two data sets:
// - Dialogues(): one row per conversation partner (letter case ignored, as
//   the conversation ignores it), newest first; columns msgtype,
//   interlocutor, sender, recipient, message, msgtime, rid, conttype; the
//   rows of kDialogueReferenceSql for a search pattern (CvArchiveSearch).
// - Conversation(): the messages received from or sent to one partner (letter
//   case ignored), newest first; columns rid, msgtype, msgtime, sender,
//   recipient, message, conttype; parameter addr. It holds the row ids and
//   reads the rows a block at a time as they are asked for.
// Both follow the archive only while somebody looks at them (SetFollowing,
// off when the file opens): a view that nobody shows does no work for a
// stored message, and catches up when it is read or shown again.
//
// Searches and exports can run on threads of their own with read-only
// connections (ReadInBackground), so that the thread that files messages
// never waits for them.
// Whether archiving is enabled (MsgArcDisabled) is the caller's decision.
class CvMsgArchive {
public:
    // The file's schema script; every entry runs at every opening.
    static const std::vector<CvDbScriptEntry>& Script();
    // The statement that defines the dialogue list (CvArchiveSearch finds
    // its rows).
    static const std::u16string kDialogueReferenceSql;
    // Each partner's newest time and row (dlg, maxtime, maxrid; partners as
    // stored, letter case kept) when the pattern :srchstr is "%" only,
    // read from the indexes alone.
    static const std::u16string& EveryPartnerSql();
    // The condition that defines a conversation, and the statement the
    // conversation runs: the keys (rid) and times of the same rows, newest
    // first, comparing only the distinct partner names; the rows are read
    // when shown.
    static const std::u16string kConversationReferenceWhere;
    static const std::u16string& ConversationSql();
    // The distinct non-NULL values of `partner` among the rows of one
    // direction, in byte order, found through the partner index.
    static std::u16string PartnersSql(const std::u16string& msgtype, const std::u16string& partner);

    CvMsgArchive();
    ~CvMsgArchive();
    CvMsgArchive(const CvMsgArchive&) = delete;
    CvMsgArchive& operator=(const CvMsgArchive&) = delete;

    // Opens (or creates) the file, runs the script and opens both data sets.
    // False when the file cannot be opened; the data sets are then empty.
    bool Open(const std::string& path);
    void Close();

    CvDatabase2& Database() { return m_db; }
    CvArchiveDialogues& Dialogues() { return m_dialogues; }
    CvDbDataSet& Conversation() { return m_conversation; }

    // Lists the dialogues holding a message whose text, sender or recipient
    // contains `text` ("%" and "_" act as wildcards); "" lists all. At once,
    // or in the background (see ReadInBackground).
    void SetSearchText(const std::string& text);
    // Shows the conversation with `partner` in Conversation().
    void SetPartner(const std::string& partner);

    // From now on searches run on a reader thread with a connection of its
    // own: `searchReady` is called on that thread when a result waits for
    // Dialogues().FinishSearch(); exports run on a second one. Null stops
    // both (cancelling what they run) and searches run on the caller's
    // thread again. Only while the file is open.
    void ReadInBackground(std::function<void()> searchReady);
    // Writes every message, oldest first, to `path` as HTML or CSV
    // (CvArchiveExport::ExportArchive): in the background when it reads
    // there, else at once. `done` gets whether the file was written and how
    // many messages it holds, on the thread that wrote it; a background
    // export still running when the archive closes is cancelled (no file).
    void Export(const std::string& path, bool html, std::function<void(bool, int)> done);

    // Store one message (received: 0x14 becomes CR LF, stamped with the
    // current local time; sent: stamped with its own time), then notify the
    // observers of the views that follow. False when the row could not be written (reported
    // on standard error).
    bool StoreReceived(const CMsg& msg);
    bool StoreReceived(const CMsg& msg, uint64_t nowLocalTicks);
    bool StoreSent(const CMsg& msg);

    // A message on its way into the archive. Both kinds are stamped with
    // msg.time: for a received message the caller sets it to the time of
    // arrival (a retry keeps it), a sent one keeps its own.
    struct Record {
        CMsg msg;
        bool received = true;
    };
    // Stores the records in order in one transaction, stopping at the first
    // that cannot be written (the file is locked or broken: the rest would
    // fail alike). Returns how many were stored, always the first ones of
    // `records`; 0 when the transaction could not be committed. The views
    // that follow place the stored rows, by one lookup each, and their
    // observers are notified once when any was stored.
    size_t Store(const std::vector<Record>& records);

    // Removes every message, then notifies both views' observers.
    bool Clear();
    // Tells the observers of the views that follow the archive that rows
    // changed (the views place and re-read their rows by themselves).
    void NotifyViews();

    // The text as shown and stored: every 0x14 becomes CR LF.
    static std::string ReceivedText(const std::string& text);

private:
    bool Insert(const CMsg& msg, int64_t msgtype, const std::string& text, uint64_t localTicks);

    CvDatabase2 m_db;
    CvArchiveDialogues m_dialogues;
    CvDbDataSet m_conversation;
    // Whether the search index holds every message (see CvArchiveSearch).
    bool m_searchIndexReady = false;
    std::unique_ptr<CvArchiveReader> m_searchReader;
    std::unique_ptr<CvArchiveReader> m_exportReader;
};
