#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "messaging/CMsg.h"
#include "storage/CvDatabase2.h"
#include "storage/CvDbDataSet.h"
#include "storage/CvDbScriptEntry.h"

// The message archive file: table `messages`, one row per received or sent
// message, read through two data sets that follow every write:
// - Dialogues(): one row per conversation partner, newest first; columns
//   msgtype, interlocutor, sender, recipient, message, msgtime, rid, conttype;
//   parameter srchstr (a LIKE pattern, "%%" = everything), searched through
//   a trigram index (CvArchiveSearch).
// - Conversation(): the messages received from or sent to one partner (letter
//   case ignored), newest first; columns rid, msgtype, msgtime, sender,
//   recipient, message, conttype; parameter addr. It holds the row ids and
//   reads the rows a block at a time as they are asked for.
// Whether archiving is enabled (MsgArcDisabled) is the caller's decision.
class CvMsgArchive {
public:
    // The file's schema script; every entry runs at every opening.
    static const std::vector<CvDbScriptEntry>& Script();
    // The statement that defines the dialogue list. The data set runs
    // DialogueSql(), which yields the same rows without grouping whole rows.
    static const std::u16string kDialogueReferenceSql;
    static const std::u16string& DialogueSql();
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
    CvMsgArchive(const CvMsgArchive&) = delete;
    CvMsgArchive& operator=(const CvMsgArchive&) = delete;

    // Opens (or creates) the file, runs the script and opens both data sets.
    // False when the file cannot be opened; the data sets are then empty.
    bool Open(const std::string& path);
    void Close();

    CvDatabase2& Database() { return m_db; }
    CvDbDataSet& Dialogues() { return m_dialogues; }
    CvDbDataSet& Conversation() { return m_conversation; }

    // Lists the dialogues holding a message whose text, sender or recipient
    // contains `text` ("%" and "_" act as wildcards); "" lists all.
    void SetSearchText(const std::string& text);
    // Shows the conversation with `partner` in Conversation().
    void SetPartner(const std::string& partner);

    // Store one message (received: 0x14 becomes CR LF, stamped with the
    // current local time; sent: stamped with its own time), then notify the
    // observers of both views. False when the row could not be written (reported
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
    // refresh and the observers are notified once when any was stored.
    size_t Store(const std::vector<Record>& records);

    // Removes every message, then notifies both views' observers.
    bool Clear();
    // Tells the observers of both views that rows changed (the views' cursors
    // follow every write by themselves).
    void NotifyViews();

    // The text as shown and stored: every 0x14 becomes CR LF.
    static std::string ReceivedText(const std::string& text);

private:
    bool Insert(const CMsg& msg, int64_t msgtype, const std::string& text, uint64_t localTicks);

    CvDatabase2 m_db;
    CvDbDataSet m_dialogues;
    CvDbDataSet m_conversation;
    // Whether the search index holds every message (see CvArchiveSearch).
    bool m_searchIndexReady = false;
};
