#include "storage/CvMsgArchive.h"

#include "app/CvFileTime.h"
#include "app/CvTimeStamp.h"
#include "storage/CvArchiveExport.h"
#include "storage/CvArchiveSearch.h"

namespace {

constexpr int64_t kReceived = 1;
constexpr int64_t kSent = 2;

const std::u16string kMessages = u"messages";

// The distinct non-NULL partners of one direction in byte order, found by
// jumping from one to the next in the partner index rather than visiting
// every row: a few index seeks per partner, whatever the archive's size.
std::u16string Partners(const std::u16string& msgtype, const std::u16string& partner) {
    const std::u16string rows = u" FROM messages WHERE msgtype = " + msgtype;
    return u"WITH RECURSIVE d(p) AS (SELECT min(" + partner + u")" + rows +
           u" UNION ALL SELECT (SELECT min(" + partner + u")" + rows + u" AND " + partner +
           u" > d.p) FROM d WHERE d.p IS NOT NULL) SELECT p FROM d WHERE p IS NOT NULL";
}

// Whether the search pattern is nothing but "%", which matches every
// non-NULL value: a constant, so SQLite decides it once per run.
constexpr const char16_t* kMatchesAll =
    u"(length(:srchstr) > 0 AND replace(:srchstr, '%', '') = '')";

// The newest time and row of every partner of one direction when the
// pattern matches everything, from the indexes alone (a partner's newest
// time and row are the last entries of its ranges).
std::u16string EveryPartnerBranches(const std::u16string& msgtype, const std::u16string& partner) {
    const std::u16string ofPartner =
        u" FROM messages WHERE msgtype = " + msgtype + u" AND " + partner + u" = pt.p)";
    const std::u16string named = u"SELECT pt.p AS dlg, (SELECT max(msgtime)" + ofPartner +
                                 u" AS maxtime, (SELECT max(rid)" + ofPartner +
                                 u" AS maxrid FROM (" + Partners(msgtype, partner) +
                                 u") AS pt WHERE " + kMatchesAll;
    // Rows without a partner match only through a value of another column.
    const std::u16string unnamed =
        u"SELECT NULL AS dlg, max(msgtime) AS maxtime, max(rid) AS maxrid FROM messages WHERE "
        u"msgtype = " +
        msgtype + u" AND " + partner + u" IS NULL AND " + kMatchesAll +
        u" AND (message IS NOT NULL OR sender IS NOT NULL OR recipient IS NOT NULL) GROUP BY " +
        partner;
    return named + u" UNION ALL " + unnamed;
}

// The rows of one direction whose partner equals :addr as the conversation
// compares it. The locale's comparison runs over the few distinct partner
// names only; their rows are then found through the byte-order indexes.
std::u16string PartnerRows(const std::u16string& msgtype, const std::u16string& partner) {
    return u"msgtype = " + msgtype + u" AND " + partner + u" IN (SELECT p FROM (" +
           Partners(msgtype, partner) + u") WHERE p = :addr COLLATE NOCASE)";
}

}  // namespace

// Dialogues are grouped by their partner with letter case ignored as the
// conversation ignores it (NOCASE), so that "bob" and "BOB" are one dialogue
// that opens the messages of both; the row shown is the newest (largest
// rid) of the group.
const std::u16string CvMsgArchive::kDialogueReferenceSql =
    u"\t\t\tSELECT msgtype, dlg, sender, recipient, message, max(msgtime), max(rid), conttype from "
    u"\t\t\t( \t\t\tSELECT rid,msgtype, msgtime, sender as dlg, sender, recipient, message, 1 as "
    u"conttype from messages \t\t\twhere msgtype = 1 and (upper(message) LIKE upper(:srchstr) or "
    u"upper(sender) LIKE upper(:srchstr) or upper(recipient) LIKE upper(:srchstr))  \t\t\t  union "
    u"\t\t\tSELECT rid,msgtype, msgtime, recipient as dlg, sender, recipient,  message, conttype  "
    u"from messages \t\t\twhere msgtype = 2 and (upper(message) LIKE upper(:srchstr) or "
    u"upper(sender) LIKE upper(:srchstr) or upper(recipient) LIKE upper(:srchstr))  \t\t\t) "
    u"\t\t\tgroup by dlg COLLATE NOCASE \t\t\torder by msgtime desc";

const std::u16string CvMsgArchive::kConversationReferenceWhere =
    u"((sender = :addr COLLATE NOCASE AND msgtype = 1) OR "
    u"(recipient = :addr COLLATE NOCASE AND msgtype = 2))";

std::u16string CvMsgArchive::PartnersSql(const std::u16string& msgtype,
                                         const std::u16string& partner) {
    return Partners(msgtype, partner);
}

const std::u16string& CvMsgArchive::ConversationSql() {
    // Each direction from its covering index (partner, time, rid), merged;
    // the rows themselves are read only when shown.
    static const std::u16string sql = u"SELECT rid, msgtime FROM messages WHERE " +
                                      PartnerRows(u"1", u"sender") +
                                      u" UNION ALL SELECT rid, msgtime FROM messages WHERE " +
                                      PartnerRows(u"2", u"recipient") + u" ORDER BY 2 DESC, 1 DESC";
    return sql;
}

const std::vector<CvDbScriptEntry>& CvMsgArchive::Script() {
    static const std::vector<CvDbScriptEntry> script = {
        {1,
         u"CREATE TABLE messages (\t\trid INTEGER PRIMARY KEY, \t\tmsgtype INT, \t\tmsgtime "
         u"CHAR(23), \t\tsender CHAR(32), \t\trecipient CHAR(32), \t\tmessage TEXT )"},
        {2, u"ALTER TABLE messages \t\tADD COLUMN conttype INTEGER "},
        // The dialogue list reads the partners and their newest rows from these
        // alone. Byte order (no collation), so they never depend on the locale.
        {3,
         u"CREATE INDEX IF NOT EXISTS idx_messages_received ON messages "
         u"(msgtype, sender, msgtime)"},
        {3,
         u"CREATE INDEX IF NOT EXISTS idx_messages_sent ON messages "
         u"(msgtype, recipient, msgtime)"},
        // A partner's rows in rid order (the rid ends every index entry): its
        // newest row is the last entry.
        {4, u"CREATE INDEX IF NOT EXISTS idx_messages_received_rid ON messages (msgtype, sender)"},
        {4, u"CREATE INDEX IF NOT EXISTS idx_messages_sent_rid ON messages (msgtype, recipient)"},
        // The search's trigram index of the upper-cased texts and names.
        {5, CvArchiveSearch::IndexScript()[0]},
        {5, CvArchiveSearch::IndexScript()[1]},
        {5, CvArchiveSearch::IndexScript()[2]},
        {5, CvArchiveSearch::IndexScript()[3]},
    };
    return script;
}

const std::u16string& CvMsgArchive::EveryPartnerSql() {
    static const std::u16string sql = EveryPartnerBranches(u"1", u"sender") + u" UNION ALL " +
                                      EveryPartnerBranches(u"2", u"recipient");
    return sql;
}

CvMsgArchive::CvMsgArchive() : m_dialogues(m_db), m_conversation(&m_db) {
    CvDbQuery& conversation = m_conversation.Query();
    conversation.rawSql = ConversationSql();
    conversation.keyColumn = u"rid";
    conversation.keyTable = kMessages;
    conversation.selectList = {u"rid",       u"msgtype", u"msgtime", u"sender",
                               u"recipient", u"message", u"conttype"};
    conversation.columnNames = conversation.selectList;
    conversation.parameters[u"addr"] = CvDbValue::FromAnsi("");
    m_conversation.SetUpdateTable(kMessages);
    m_conversation.SetKeyCondition(u"rid =:rid");
    m_conversation.SetFollowing(false);  // until a window shows it
}

CvMsgArchive::~CvMsgArchive() {
    Close();
}

bool CvMsgArchive::Open(const std::string& path) {
    Close();
    m_db.SetPath(path);
    m_db.SetReadOnly(false);
    if (!m_db.Open()) {
        return false;  // the data sets stay closed, and so empty
    }
    m_db.ExecuteScript(Script());
    m_searchIndexReady = CvArchiveSearch::CompleteIndex(m_db);
    m_dialogues.SetIndexReady(m_searchIndexReady);
    m_dialogues.Open();
    m_conversation.Open();
    return true;
}

void CvMsgArchive::Close() {
    ReadInBackground(nullptr);
    m_dialogues.Close();
    m_conversation.Close();
    m_db.Close();
}

void CvMsgArchive::ReadInBackground(std::function<void()> searchReady) {
    if (!searchReady) {
        m_dialogues.SetReader(nullptr, nullptr);
        m_searchReader.reset();
        m_exportReader.reset();
        return;
    }
    if (!m_db.IsOpen()) {
        return;
    }
    if (!m_searchReader) {
        m_searchReader = std::make_unique<CvArchiveReader>(m_db.GetPath());
        m_exportReader = std::make_unique<CvArchiveReader>(m_db.GetPath());
    }
    m_dialogues.SetReader(m_searchReader.get(), std::move(searchReady));
}

void CvMsgArchive::Export(const std::string& path, bool html,
                          std::function<void(bool, int)> done) {
    if (!m_exportReader) {
        int count = 0;
        const bool written = CvArchiveExport::ExportArchive(m_db, path, html, count);
        done(written, count);
        return;
    }
    m_exportReader->Post([path, html, done = std::move(done)](
                             CvDatabase2& database, const CvArchiveReader::Cancelled& cancelled) {
        int count = 0;
        const bool written = CvArchiveExport::ExportArchive(database, path, html, count, cancelled);
        if (!cancelled()) {
            done(written, count);
        }
    });
}

void CvMsgArchive::SetSearchText(const std::string& text) {
    m_dialogues.Search(CvDbValue::FromAnsi("%" + text + "%"));
}

void CvMsgArchive::SetPartner(const std::string& partner) {
    m_conversation.Query().parameters[u"addr"] = CvDbValue::FromAnsi(partner);
    m_conversation.Close();
    m_conversation.Open();
}

std::string CvMsgArchive::ReceivedText(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        if (c == '\x14') {
            result += "\r\n";
        } else {
            result += c;
        }
    }
    return result;
}

bool CvMsgArchive::Insert(const CMsg& msg, int64_t msgtype, const std::string& text,
                          uint64_t localTicks) {
    const CvDbRecord record = {
        {u"conttype", CvDbValue::FromInteger(msg.type)},
        {u"message", CvDbValue::FromAnsi(text)},
        {u"msgtime", CvDbValue::FromAnsi(CvTimeStampText(localTicks))},
        {u"msgtype", CvDbValue::FromInteger(msgtype)},
        {u"recipient", CvDbValue::FromAnsi(msg.recipient)},
        {u"sender", CvDbValue::FromAnsi(msg.sender)},
    };
    return m_db.Insert(kMessages, record);
}

bool CvMsgArchive::StoreReceived(const CMsg& msg, uint64_t nowLocalTicks) {
    const bool stored = Insert(msg, kReceived, ReceivedText(msg.text), nowLocalTicks);
    NotifyViews();
    return stored;
}

bool CvMsgArchive::StoreReceived(const CMsg& msg) {
    return StoreReceived(msg, CvFileTime::NowLocal());
}

bool CvMsgArchive::StoreSent(const CMsg& msg) {
    const bool stored = Insert(msg, kSent, msg.text, msg.time);
    NotifyViews();
    return stored;
}

size_t CvMsgArchive::Store(const std::vector<Record>& records) {
    if (records.empty()) {
        return 0;
    }
    size_t stored = 0;
    m_db.BeginBatch();
    for (const Record& record : records) {
        const CMsg& msg = record.msg;
        const bool inserted = record.received
                                  ? Insert(msg, kReceived, ReceivedText(msg.text), msg.time)
                                  : Insert(msg, kSent, msg.text, msg.time);
        if (!inserted) {
            break;
        }
        ++stored;
    }
    if (!m_db.CommitBatch()) {
        stored = 0;  // rolled back
    }
    if (stored > 0) {
        NotifyViews();
    }
    return stored;
}

bool CvMsgArchive::Clear() {
    // Without its triggers the table is emptied at once instead of row by
    // row; the script then makes the index and its triggers anew.
    m_db.BeginBatch();
    bool cleared = true;
    for (const char16_t* drop : {u"DROP TRIGGER IF EXISTS messages_search_insert",
                                 u"DROP TRIGGER IF EXISTS messages_search_delete",
                                 u"DROP TRIGGER IF EXISTS messages_search_update",
                                 u"DROP TABLE IF EXISTS messages_search"}) {
        cleared = cleared && m_db.Execute(drop);
    }
    cleared = cleared && m_db.Delete(kMessages, u"", {});
    m_db.ExecuteScript(Script());
    cleared = m_db.CommitBatch() && cleared;
    m_searchIndexReady = CvArchiveSearch::CompleteIndex(m_db);
    m_dialogues.SetIndexReady(m_searchIndexReady);
    // Both views are told, shown or not: a window must not keep showing what
    // is gone, and reading an empty archive costs nothing.
    if (cleared) {
        m_dialogues.Empty();  // no search needed to know; tells the observers
    } else {
        m_dialogues.Notify();
    }
    m_conversation.Notify();
    return cleared;
}

void CvMsgArchive::NotifyViews() {
    if (m_dialogues.IsFollowing()) {
        m_dialogues.Notify();
    }
    if (m_conversation.IsFollowing()) {
        m_conversation.Notify();
    }
}
