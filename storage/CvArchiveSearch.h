#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "storage/CvDbSrvMemCursor2.h"
#include "storage/CvDbValue.h"

class CvDatabase2;

// The archive's dialogue list for a search pattern: the rows of the defining
// statement (CvMsgArchive::kDialogueReferenceSql), found without running it.
//
// A message matches when upper(message), upper(sender) or upper(recipient)
// is LIKE upper(pattern); a dialogue is a partner (the sender of a received
// message, the recipient of a sent one) with letter case ignored as NOCASE
// ignores it, and its row is its newest matching message (largest rid),
// showing the newest matching time. Three ways, by the pattern:
// - a pattern of "%" only matches every message with a partner: the
//   partners and their newest rows come from the indexes alone;
// - a pattern with a literal run of three or more characters (the text
//   between "%" and "_"): every run then stands in the upper-cased column as
//   it is, so the trigram index of upper-cased columns finds the candidates.
//   Each is checked with the LIKE itself, newest first, until every dialogue
//   has its row;
// - any other pattern is checked on every row.
// Both searches that read rows read a window of row ids per statement, newest
// first, so that no statement holds the file's shared lock for long (a writer
// of the file waits for it before it commits), and so that a search can be
// cancelled between statements.
class CvArchiveSearch {
public:
    using Row = CvDbSrvMemCursor2::Row;

    // A row of the result holds the defining statement's eight columns, then
    // the dialogue's key (nocase_key of the partner, NULL for messages
    // without one), then the shown message's own time, by which the rows are
    // ordered (column 5 shows the dialogue's newest time).
    static constexpr size_t kKeyColumn = 8;
    static constexpr size_t kOwnTimeColumn = 9;
    static constexpr size_t kRidColumn = 6;
    static constexpr size_t kTimeColumn = 5;
    // Row ids read by one statement: a few milliseconds of checking, the
    // longest a writer of the file waits for this reader.
    static constexpr int64_t kWindowRows = 2048;

    struct Options {
        // Whether the trigram index holds every message (CompleteIndex).
        bool indexReady = false;
        int64_t windowRows = kWindowRows;
        // Asked between statements; true ends the search, which then fails.
        std::function<bool()> cancelled;
    };

    // The name of the index table and the statements that create it and keep
    // it in step with `messages`.
    static const char16_t* const kIndexTable;
    static const std::vector<std::u16string>& IndexScript();
    // Refills the index from `messages` when its newest row is not the
    // table's (an archive from before the index). False when that fails.
    static bool CompleteIndex(CvDatabase2& database);

    // The dialogue rows for `pattern` (the defining statement's srchstr),
    // ordered newest first (by the shown message's time, then its rid).
    // Only messages up to `coveredRid`, the largest rid when the search
    // began, are looked at; Place adds the later ones. False when a
    // statement failed or the search was cancelled.
    static bool Run(CvDatabase2& database, const CvDbValue& pattern, const Options& options,
                    std::vector<Row>& rows, int64_t& coveredRid);

    // The rows, as Run gives them, of the messages after `afterRid` that
    // match `pattern`, oldest first.
    static bool RowsAfter(CvDatabase2& database, const CvDbValue& pattern, int64_t afterRid,
                          std::vector<Row>& rows);
    // The row of message `rid` when it matches `pattern`; `row` stays empty
    // when it does not (or is gone).
    static bool LookUp(CvDatabase2& database, const CvDbValue& pattern, int64_t rid, Row& row);
    // Adds a matching message's row (from RowsAfter or LookUp) to the rows of
    // a search where running the search again would put it: it becomes its
    // dialogue's row when it is the dialogue's newest message, and raises the
    // dialogue's newest time when it is later. Placing a row twice changes
    // nothing.
    static void Place(std::vector<Row>& rows, Row row);

    // The index query that finds the candidates for an upper-cased pattern:
    // every run of three or more characters in one column; "" when the
    // pattern has no such run.
    static std::u16string MatchExpression(const std::u16string& upperPattern);

    // Whether a row of `messages` matches the pattern :srchstr (the dialogue
    // statement's condition); `qualifier` prefixes the column names, such as
    // "m." where the statement joins other tables.
    static std::u16string MatchCondition(const std::u16string& qualifier = u"");
};
