#include "storage/CvArchiveSearch.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "storage/CvDatabase2.h"
#include "storage/CvDbText.h"
#include "storage/CvMsgArchive.h"

namespace {

using Row = CvDbSrvMemCursor2::Row;

constexpr size_t kMinimumRun = 3;  // the index holds runs of three characters

bool IsCodePointStart(char16_t c) {
    return c < 0xDC00 || c > 0xDFFF;  // not the second half of a surrogate pair
}

size_t CodePoints(const std::u16string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), IsCodePointStart));
}

// A dialogue: the partner name, NULL for rows without one.
using DialogueKey = std::optional<std::u16string>;

DialogueKey KeyOf(const CvDbValue& value) {
    if (value.GetTag() == CvDbValue::Null) {
        return std::nullopt;
    }
    return value.AsWide();
}

struct Hit {
    CvDbValue dialogue;
    int64_t rid = 0;
    CvDbValue time;
};

// Dialogue names and whether rows without a partner exist, from the indexes.
bool CountDialogues(CvDatabase2& database, size_t& count) {
    CvDbQuery query;
    query.rawSql = u"SELECT (SELECT count(*) FROM (SELECT p FROM (" +
                   CvMsgArchive::PartnersSql(u"1", u"sender") + u") UNION SELECT p FROM (" +
                   CvMsgArchive::PartnersSql(u"2", u"recipient") +
                   u"))) + (EXISTS (SELECT 1 FROM messages WHERE msgtype = 1 AND sender IS NULL) "
                   u"OR EXISTS (SELECT 1 FROM messages WHERE msgtype = 2 AND recipient IS NULL))";
    std::vector<Row> rows;
    if (!database.RunQuery(query, rows) || rows.empty() || rows[0].empty()) {
        return false;
    }
    count = static_cast<size_t>(rows[0][0].AsInteger());
    return true;
}

// The newest matching time of a dialogue: its newest row's, unless a matching
// row of the dialogue has a later time (the index on the time finds those).
CvDbValue NewestTime(CvDatabase2& database, const CvDbValue& pattern, const Hit& hit) {
    const bool named = hit.dialogue.GetTag() != CvDbValue::Null;
    const bool timed = hit.time.GetTag() != CvDbValue::Null;
    const std::u16string later = timed ? u" AND msgtime > :after" : u" AND msgtime IS NOT NULL";
    const std::u16string received =
        named ? u"msgtype = 1 AND sender = :dlg" : u"msgtype = 1 AND sender IS NULL";
    const std::u16string sent =
        named ? u"msgtype = 2 AND recipient = :dlg" : u"msgtype = 2 AND recipient IS NULL";
    CvDbQuery query;
    query.rawSql = u"SELECT max(msgtime) FROM messages AS m WHERE ((" + received + later +
                   u") OR (" + sent + later + u")) AND " + CvArchiveSearch::MatchCondition(u"m.");
    query.parameters[u"srchstr"] = pattern;
    query.parameters[u"dlg"] = hit.dialogue;
    query.parameters[u"after"] = hit.time;
    std::vector<Row> rows;
    if (database.RunQuery(query, rows) && !rows.empty() && !rows[0].empty() &&
        rows[0][0].GetTag() != CvDbValue::Null) {
        return rows[0][0];
    }
    return hit.time;
}

// NULL sorts below every time, as in SQLite.
bool Later(const CvDbValue& a, const CvDbValue& b) {
    if (a.GetTag() == CvDbValue::Null || b.GetTag() == CvDbValue::Null) {
        return b.GetTag() == CvDbValue::Null && a.GetTag() != CvDbValue::Null;
    }
    return a.AsWide() > b.AsWide();
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

bool CvArchiveSearch::Run(CvDatabase2& database, const CvDbValue& pattern,
                          const CvDbQuery& fallback, bool indexReady, std::vector<Row>& rows) {
    rows.clear();
    std::u16string expression;
    if (indexReady && pattern.GetTag() != CvDbValue::Null) {
        CvDbQuery upper;
        upper.rawSql = u"SELECT upper(:srchstr)";
        upper.parameters[u"srchstr"] = pattern;
        std::vector<Row> text;
        if (database.RunQuery(upper, text) && !text.empty() && !text[0].empty() &&
            text[0][0].GetTag() != CvDbValue::Null) {
            expression = MatchExpression(text[0][0].AsWide());
        }
    }
    size_t dialogues = 0;
    if (expression.empty() || !CountDialogues(database, dialogues)) {
        CvDbQuery plain = fallback;
        plain.producer = nullptr;
        return database.RunQuery(plain, rows);
    }

    // Candidates newest first; the first match of each dialogue is its row.
    CvDbQuery candidates;
    candidates.rawSql =
        u"SELECT m.rid, CASE WHEN m.msgtype = 1 THEN m.sender ELSE m.recipient END, m.msgtime "
        u"FROM messages_search AS s JOIN messages AS m ON m.rid = s.rowid "
        u"WHERE messages_search MATCH :expression AND m.msgtype IN (1, 2) AND " +
        MatchCondition(u"m.") + u" ORDER BY s.rowid DESC";
    candidates.parameters[u"expression"] = CvDbValue::FromWide(expression);
    candidates.parameters[u"srchstr"] = pattern;
    std::map<DialogueKey, Hit> hits;
    const bool searched = database.ForEachRow(candidates, [&](const Row& row) {
        auto [entry, added] = hits.try_emplace(KeyOf(row[1]));
        if (added) {
            entry->second = {row[1], row[0].AsInteger(), row[2]};
        }
        return hits.size() < dialogues;
    });
    if (!searched) {
        return false;
    }
    if (hits.empty()) {
        return true;
    }

    std::map<int64_t, CvDbValue> newestTimes;
    std::u16string rids;
    for (const auto& [key, hit] : hits) {
        newestTimes[hit.rid] = NewestTime(database, pattern, hit);
        rids += (rids.empty() ? u"" : u",") + CvDbText::ToWide(std::to_string(hit.rid));
    }
    CvDbQuery shown;
    shown.rawSql =
        u"SELECT m.msgtype, CASE WHEN m.msgtype = 1 THEN m.sender ELSE m.recipient END, "
        u"m.sender, m.recipient, m.message, m.msgtime, m.rid, "
        u"CASE WHEN m.msgtype = 1 THEN 1 ELSE m.conttype END FROM messages AS m WHERE m.rid IN (" +
        rids + u")";
    if (!database.RunQuery(shown, rows)) {
        return false;
    }
    // Ordered by the shown row's own time; the time column shows the
    // dialogue's newest.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return Later(a[5], b[5]); });
    for (Row& row : rows) {
        row[5] = newestTimes[row[6].AsInteger()];
    }
    return true;
}

std::u16string CvArchiveSearch::MatchCondition(const std::u16string& qualifier) {
    const auto like = [&qualifier](const char16_t* column) {
        return u"upper(" + qualifier + column + u") LIKE upper(:srchstr)";
    };
    return u"(" + like(u"message") + u" OR " + like(u"sender") + u" OR " + like(u"recipient") +
           u")";
}
