#include "storage/CvArchiveSearch.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "storage/CvDatabase2.h"
#include "storage/CvDbText.h"
#include "storage/CvMsgArchive.h"

namespace {

using Row = CvArchiveSearch::Row;

constexpr size_t kMinimumRun = 3;  // the index holds runs of three characters
// Row ids in one "IN (...)" list.
constexpr size_t kRowsPerRead = 500;

// The dialogue row's columns, its dialogue key and the message's own time.
constexpr const char16_t* kShownColumns =
    u"m.msgtype, CASE WHEN m.msgtype = 1 THEN m.sender ELSE m.recipient END, m.sender, "
    u"m.recipient, m.message, m.msgtime, m.rid, "
    u"CASE WHEN m.msgtype = 1 THEN 1 ELSE m.conttype END, "
    u"nocase_key(CASE WHEN m.msgtype = 1 THEN m.sender ELSE m.recipient END), m.msgtime";

bool IsCodePointStart(char16_t c) {
    return c < 0xDC00 || c > 0xDFFF;  // not the second half of a surrogate pair
}

size_t CodePoints(const std::u16string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), IsCodePointStart));
}

// SQLite's order of values: NULL, then numbers, then texts by their bytes.
int Compare(const CvDbValue& a, const CvDbValue& b) {
    auto rank = [](const CvDbValue& v) {
        switch (v.GetTag()) {
            case CvDbValue::Null:
                return 0;
            case CvDbValue::Integer:
                return 1;
            default:
                return 2;
        }
    };
    if (rank(a) != rank(b)) {
        return rank(a) < rank(b) ? -1 : 1;
    }
    if (rank(a) == 1) {
        return a.AsInteger() < b.AsInteger() ? -1 : (a.AsInteger() > b.AsInteger() ? 1 : 0);
    }
    if (rank(a) == 2) {
        return a.AsUtf8().compare(b.AsUtf8());
    }
    return 0;
}

bool Later(const CvDbValue& a, const CvDbValue& b) {
    return Compare(a, b) > 0;
}

// The order of a dialogue list: the shown message's time, then its rid,
// both descending.
bool ListedBefore(const Row& a, const Row& b) {
    const int times = Compare(a[CvArchiveSearch::kOwnTimeColumn], b[CvArchiveSearch::kOwnTimeColumn]);
    if (times != 0) {
        return times > 0;
    }
    return a[CvArchiveSearch::kRidColumn].AsInteger() > b[CvArchiveSearch::kRidColumn].AsInteger();
}

// A partner name or a dialogue key; nullopt for messages without a partner.
using Name = std::optional<std::u16string>;

Name NameOf(const CvDbValue& value) {
    switch (value.GetTag()) {
        case CvDbValue::Null:
            return std::nullopt;
        case CvDbValue::Integer:
            return CvDbText::ToWide(std::to_string(value.AsInteger()));
        default:
            return CvDbText::ToWide(value.AsUtf8());
    }
}

// The archive's partner names and their dialogue keys.
class Partners {
public:
    bool Load(CvDatabase2& database) {
        CvDbQuery names;
        names.rawSql = u"SELECT p, nocase_key(p) FROM (SELECT p FROM (" +
                       CvMsgArchive::PartnersSql(u"1", u"sender") + u") UNION SELECT p FROM (" +
                       CvMsgArchive::PartnersSql(u"2", u"recipient") + u"))";
        const bool read = database.ForEachRow(names, [this](const Row& row) {
            const Name name = NameOf(row[0]);
            if (name) {
                m_keys[*name] = NameOf(row[1]);
            }
            return true;
        });
        CvDbQuery unnamed;
        unnamed.rawSql =
            u"SELECT EXISTS (SELECT 1 FROM messages WHERE msgtype = 1 AND sender IS NULL) OR "
            u"EXISTS (SELECT 1 FROM messages WHERE msgtype = 2 AND recipient IS NULL)";
        std::vector<Row> rows;
        if (!read || !database.RunQuery(unnamed, rows) || rows.empty()) {
            return false;
        }
        m_unnamed = rows[0][0].AsInteger() != 0;
        return true;
    }

    // Names stored after Load are keyed on the way.
    Name KeyOf(CvDatabase2& database, const Name& name) {
        if (!name) {
            return std::nullopt;
        }
        const auto found = m_keys.find(*name);
        if (found != m_keys.end()) {
            return found->second;
        }
        CvDbQuery key;
        key.rawSql = u"SELECT nocase_key(:name)";
        key.parameters[u"name"] = CvDbValue::FromWide(*name);
        std::vector<Row> rows;
        Name result = name;
        if (database.RunQuery(key, rows) && !rows.empty()) {
            result = NameOf(rows[0][0]);
        }
        m_keys[*name] = result;
        return result;
    }

    std::vector<std::u16string> NamesOf(const Name& key) const {
        std::vector<std::u16string> names;
        for (const auto& [name, itsKey] : m_keys) {
            if (itsKey == key) {
                names.push_back(name);
            }
        }
        return names;
    }

    // Every dialogue the archive holds.
    std::set<Name> Keys() const {
        std::set<Name> keys;
        for (const auto& entry : m_keys) {
            keys.insert(entry.second);
        }
        if (m_unnamed) {
            keys.insert(std::nullopt);
        }
        return keys;
    }

private:
    std::map<std::u16string, Name> m_keys;
    bool m_unnamed = false;
};

// A dialogue's newest matching time and row.
struct Newest {
    CvDbValue time;
    int64_t rid = 0;

    void Add(const CvDbValue& otherTime, int64_t otherRid) {
        if (rid == 0 || Later(otherTime, time)) {
            time = otherTime;
        }
        rid = std::max(rid, otherRid);
    }
};

using Dialogues = std::map<Name, Newest>;

bool Cancelled(const CvArchiveSearch::Options& options) {
    return options.cancelled && options.cancelled();
}

// Windows of row ids from `newest` down to 1; `each` gets (first, last) and
// returns whether to go on.
bool ForEachWindow(int64_t newest, const CvArchiveSearch::Options& options,
                   const std::function<bool(int64_t, int64_t, bool&)>& each) {
    const int64_t size = std::max<int64_t>(1, options.windowRows);
    for (int64_t last = newest; last >= 1; last -= size) {
        if (Cancelled(options)) {
            return false;
        }
        bool more = true;
        if (!each(std::max<int64_t>(1, last - size + 1), last, more)) {
            return false;
        }
        if (!more) {
            break;
        }
    }
    return !Cancelled(options);
}

// A pattern of "%" only: every partner's newest time and row from the indexes.
bool EveryPartner(CvDatabase2& database, const CvDbValue& pattern, Partners& partners,
                  Dialogues& dialogues) {
    CvDbQuery query;
    query.rawSql = CvMsgArchive::EveryPartnerSql();
    query.parameters[u"srchstr"] = pattern;
    return database.ForEachRow(query, [&](const Row& row) {
        dialogues[partners.KeyOf(database, NameOf(row[0]))].Add(row[1], row[2].AsInteger());
        return true;
    });
}

// Any other pattern without the index: every message is checked, a window
// at a time.
bool ScanRows(CvDatabase2& database, const CvDbValue& pattern, int64_t newest,
              const CvArchiveSearch::Options& options, Partners& partners, Dialogues& dialogues) {
    CvDbQuery window;
    window.rawSql =
        u"SELECT CASE WHEN msgtype = 1 THEN sender ELSE recipient END, max(msgtime), max(rid) "
        u"FROM messages WHERE rid BETWEEN :first AND :last AND +msgtype IN (1, 2) AND " +
        CvArchiveSearch::MatchCondition() + u" GROUP BY 1";
    window.parameters[u"srchstr"] = pattern;
    return ForEachWindow(newest, options, [&](int64_t first, int64_t last, bool&) {
        window.parameters[u"first"] = CvDbValue::FromInteger(first);
        window.parameters[u"last"] = CvDbValue::FromInteger(last);
        return database.ForEachRow(window, [&](const Row& row) {
            dialogues[partners.KeyOf(database, NameOf(row[0]))].Add(row[1], row[2].AsInteger());
            return true;
        });
    });
}

// The newest matching time of a dialogue: its newest row's, unless a matching
// row of the dialogue has a later time (the index on the time finds those).
bool NewestTime(CvDatabase2& database, const CvDbValue& pattern, int64_t newest,
                const std::vector<std::u16string>& names, bool unnamed, Newest& dialogue) {
    CvDbQuery query;
    std::u16string list;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::u16string parameter = u"n" + CvDbText::ToWide(std::to_string(i));
        list += (i == 0 ? u":" : u", :") + parameter;
        query.parameters[parameter] = CvDbValue::FromWide(names[i]);
    }
    const std::u16string received = unnamed ? u"m.sender IS NULL" : u"m.sender IN (" + list + u")";
    const std::u16string sent =
        unnamed ? u"m.recipient IS NULL" : u"m.recipient IN (" + list + u")";
    const bool timed = !dialogue.time.IsNull();
    const std::u16string later = timed ? u" AND m.msgtime > :after" : u" AND m.msgtime IS NOT NULL";
    query.rawSql = u"SELECT max(m.msgtime) FROM messages AS m WHERE ((m.msgtype = 1 AND " +
                   received + later + u") OR (m.msgtype = 2 AND " + sent + later +
                   u")) AND m.rid <= :newest AND " + CvArchiveSearch::MatchCondition(u"m.");
    query.parameters[u"srchstr"] = pattern;
    query.parameters[u"after"] = dialogue.time;
    query.parameters[u"newest"] = CvDbValue::FromInteger(newest);
    std::vector<Row> rows;
    if (!database.RunQuery(query, rows)) {
        return false;
    }
    if (!rows.empty() && !rows[0].empty() && !rows[0][0].IsNull()) {
        dialogue.time = rows[0][0];
    }
    return true;
}

// A pattern with a literal run of three characters: the index's candidates,
// newest first, until every dialogue has its row.
bool ScanIndex(CvDatabase2& database, const CvDbValue& pattern, const std::u16string& expression,
               int64_t newest, const CvArchiveSearch::Options& options, Partners& partners,
               Dialogues& dialogues) {
    std::set<Name> missing = partners.Keys();
    CvDbQuery window;
    window.rawSql =
        u"SELECT m.rid, CASE WHEN m.msgtype = 1 THEN m.sender ELSE m.recipient END, m.msgtime "
        u"FROM messages_search AS s JOIN messages AS m ON m.rid = s.rowid "
        u"WHERE messages_search MATCH :expression AND s.rowid BETWEEN :first AND :last "
        u"AND m.msgtype IN (1, 2) AND " +
        CvArchiveSearch::MatchCondition(u"m.") + u" ORDER BY s.rowid DESC";
    window.parameters[u"expression"] = CvDbValue::FromWide(expression);
    window.parameters[u"srchstr"] = pattern;
    const bool searched =
        missing.empty() ||
        ForEachWindow(newest, options, [&](int64_t first, int64_t last, bool& more) {
            window.parameters[u"first"] = CvDbValue::FromInteger(first);
            window.parameters[u"last"] = CvDbValue::FromInteger(last);
            const bool read = database.ForEachRow(window, [&](const Row& row) {
                const Name key = partners.KeyOf(database, NameOf(row[1]));
                const auto [entry, added] = dialogues.try_emplace(key);
                if (added) {
                    entry->second.Add(row[2], row[0].AsInteger());
                    missing.erase(key);
                }
                return !missing.empty();
            });
            more = !missing.empty();
            return read;
        });
    if (!searched) {
        return false;
    }
    for (auto& [key, dialogue] : dialogues) {
        if (Cancelled(options) ||
            !NewestTime(database, pattern, newest, partners.NamesOf(key), !key, dialogue)) {
            return false;
        }
    }
    return true;
}

// The rows of the dialogues' newest messages, in the list's order.
bool ShownRows(CvDatabase2& database, const Dialogues& dialogues, std::vector<Row>& rows) {
    std::map<int64_t, CvDbValue> times;  // rid -> the dialogue's newest time
    for (const auto& entry : dialogues) {
        times[entry.second.rid] = entry.second.time;
    }
    auto next = times.begin();
    while (next != times.end()) {
        std::u16string rids;
        for (size_t n = 0; n < kRowsPerRead && next != times.end(); ++n, ++next) {
            rids += (rids.empty() ? u"" : u",") + CvDbText::ToWide(std::to_string(next->first));
        }
        // The row ids are integers of our own, so they can stand in the text.
        CvDbQuery shown;
        shown.rawSql =
            std::u16string(u"SELECT ") + kShownColumns + u" FROM messages AS m WHERE m.rid IN (" + rids + u")";
        const bool read = database.ForEachRow(shown, [&](const Row& row) {
            rows.push_back(row);
            rows.back()[CvArchiveSearch::kTimeColumn] =
                times[row[CvArchiveSearch::kRidColumn].AsInteger()];
            return true;
        });
        if (!read) {
            return false;
        }
    }
    std::sort(rows.begin(), rows.end(), ListedBefore);
    return true;
}

bool MatchesEverything(const CvDbValue& pattern) {
    const std::string text = pattern.AsUtf8();
    return !text.empty() && text.find_first_not_of('%') == std::string::npos;
}

}  // namespace

const char16_t* const CvArchiveSearch::kIndexTable = u"messages_search";

const std::vector<std::u16string>& CvArchiveSearch::IndexScript() {
    // Case-sensitive trigrams of the upper-cased columns: the index folds
    // nothing itself, so it agrees with upper() for every script.
    static const std::vector<std::u16string> script = {
        u"CREATE VIRTUAL TABLE IF NOT EXISTS messages_search USING fts5(message, sender, "
        u"recipient, tokenize = 'trigram case_sensitive 1')",
        u"CREATE TRIGGER IF NOT EXISTS messages_search_insert AFTER INSERT ON messages BEGIN "
        u"INSERT INTO messages_search(rowid, message, sender, recipient) VALUES (new.rid, "
        u"upper(new.message), upper(new.sender), upper(new.recipient)); END",
        u"CREATE TRIGGER IF NOT EXISTS messages_search_delete AFTER DELETE ON messages BEGIN "
        u"DELETE FROM messages_search WHERE rowid = old.rid; END",
        u"CREATE TRIGGER IF NOT EXISTS messages_search_update AFTER UPDATE ON messages BEGIN "
        u"DELETE FROM messages_search WHERE rowid = old.rid; "
        u"INSERT INTO messages_search(rowid, message, sender, recipient) VALUES (new.rid, "
        u"upper(new.message), upper(new.sender), upper(new.recipient)); END",
    };
    return script;
}

bool CvArchiveSearch::CompleteIndex(CvDatabase2& database) {
    CvDbQuery newest;
    newest.rawSql =
        u"SELECT (SELECT max(rid) FROM messages) IS (SELECT rowid FROM messages_search ORDER BY "
        u"rowid DESC LIMIT 1), (SELECT count(*) FROM messages)";
    std::vector<Row> rows;
    if (!database.RunQuery(newest, rows) || rows.empty() || rows[0].size() < 2) {
        return false;
    }
    if (rows[0][0].AsInteger() == 1) {
        return true;
    }
    std::fprintf(stderr, "corvane: indexing %lld archived messages for the search...\n",
                 static_cast<long long>(rows[0][1].AsInteger()));
    database.BeginBatch();
    const bool emptied = database.Delete(kIndexTable, u"", {});
    const bool filled = emptied && database.Execute(
                                       u"INSERT INTO messages_search(rowid, message, sender, "
                                       u"recipient) SELECT rid, upper(message), upper(sender), "
                                       u"upper(recipient) FROM messages");
    return database.CommitBatch() && filled;
}

std::u16string CvArchiveSearch::MatchExpression(const std::u16string& upperPattern) {
    std::vector<std::u16string> runs;
    std::u16string run;
    for (size_t i = 0; i <= upperPattern.size(); ++i) {
        const bool end = i == upperPattern.size();
        if (end || upperPattern[i] == u'%' || upperPattern[i] == u'_') {
            if (CodePoints(run) >= kMinimumRun) {
                runs.push_back(run);
            }
            run.clear();
        } else {
            run += upperPattern[i];
        }
    }
    if (runs.empty()) {
        return {};
    }
    std::u16string phrases;
    for (const std::u16string& literal : runs) {
        std::u16string quoted = u"\"";
        for (const char16_t c : literal) {
            quoted += c == u'"' ? std::u16string(u"\"\"") : std::u16string(1, c);
        }
        phrases += (phrases.empty() ? u"" : u" AND ") + quoted + u"\"";
    }
    std::u16string expression;
    for (const char16_t* column : {u"message", u"sender", u"recipient"}) {
        expression += (expression.empty() ? u"" : u" OR ") + std::u16string(column) + u" : (" +
                      phrases + u")";
    }
    return expression;
}

bool CvArchiveSearch::Run(CvDatabase2& database, const CvDbValue& pattern, const Options& options,
                          std::vector<Row>& rows, int64_t& coveredRid) {
    rows.clear();
    coveredRid = 0;
    CvDbQuery newestRow;
    newestRow.rawSql = u"SELECT max(rid) FROM messages";
    std::vector<Row> newest;
    if (!database.RunQuery(newestRow, newest) || newest.empty() || newest[0].empty()) {
        return false;
    }
    if (newest[0][0].IsNull() || pattern.IsNull()) {
        return !Cancelled(options);  // no messages, or "LIKE NULL", which matches none
    }
    coveredRid = newest[0][0].AsInteger();
    Partners partners;
    if (!partners.Load(database)) {
        return false;
    }
    Dialogues dialogues;
    bool searched = false;
    if (MatchesEverything(pattern)) {
        searched = EveryPartner(database, pattern, partners, dialogues);
    } else {
        std::u16string expression;
        if (options.indexReady) {
            CvDbQuery upper;
            upper.rawSql = u"SELECT upper(:srchstr)";
            upper.parameters[u"srchstr"] = pattern;
            std::vector<Row> text;
            if (database.RunQuery(upper, text) && !text.empty() && !text[0].empty() &&
                !text[0][0].IsNull()) {
                expression = MatchExpression(text[0][0].AsWide());
            }
        }
        searched = expression.empty() ? ScanRows(database, pattern, coveredRid, options, partners,
                                                 dialogues)
                                      : ScanIndex(database, pattern, expression, coveredRid,
                                                  options, partners, dialogues);
    }
    if (!searched || Cancelled(options) || !ShownRows(database, dialogues, rows)) {
        rows.clear();
        return false;
    }
    return !Cancelled(options);
}

bool CvArchiveSearch::RowsAfter(CvDatabase2& database, const CvDbValue& pattern, int64_t afterRid,
                                std::vector<Row>& rows) {
    CvDbQuery query;
    query.rawSql = std::u16string(u"SELECT ") + kShownColumns +
                   u" FROM messages AS m WHERE m.rid > :after AND m.msgtype IN (1, 2) AND " +
                   MatchCondition(u"m.") + u" ORDER BY m.rid";
    query.parameters[u"after"] = CvDbValue::FromInteger(afterRid);
    query.parameters[u"srchstr"] = pattern;
    return database.RunQuery(query, rows);
}

bool CvArchiveSearch::LookUp(CvDatabase2& database, const CvDbValue& pattern, int64_t rid,
                             Row& row) {
    CvDbQuery query;
    query.rawSql = std::u16string(u"SELECT ") + kShownColumns +
                   u" FROM messages AS m WHERE m.rid = :rid AND m.msgtype IN (1, 2) AND " +
                   MatchCondition(u"m.");
    query.parameters[u"rid"] = CvDbValue::FromInteger(rid);
    query.parameters[u"srchstr"] = pattern;
    row.clear();
    return database.ForEachRow(query, [&row](const Row& found) {
        row = found;
        return false;
    });
}

void CvArchiveSearch::Place(std::vector<Row>& rows, Row row) {
    const auto same = std::find_if(rows.begin(), rows.end(), [&row](const Row& listed) {
        return listed[kKeyColumn] == row[kKeyColumn];
    });
    row[kTimeColumn] = row[kOwnTimeColumn];
    if (same != rows.end()) {
        Row& listed = *same;
        if (row[kRidColumn].AsInteger() <= listed[kRidColumn].AsInteger()) {
            // An older message of the dialogue: at most a later time.
            if (Later(row[kOwnTimeColumn], listed[kTimeColumn])) {
                listed[kTimeColumn] = row[kOwnTimeColumn];
            }
            return;
        }
        if (Later(listed[kTimeColumn], row[kTimeColumn])) {
            row[kTimeColumn] = listed[kTimeColumn];
        }
        rows.erase(same);
    }
    rows.insert(std::lower_bound(rows.begin(), rows.end(), row, ListedBefore), std::move(row));
}

std::u16string CvArchiveSearch::MatchCondition(const std::u16string& qualifier) {
    const auto like = [&qualifier](const char16_t* column) {
        return u"upper(" + qualifier + column + u") LIKE upper(:srchstr)";
    };
    return u"(" + like(u"message") + u" OR " + like(u"sender") + u" OR " + like(u"recipient") +
           u")";
}
