#pragma once

#include <string>
#include <vector>

#include "storage/CvDbSrvMemCursor2.h"
#include "storage/CvDbValue.h"

class CvDatabase2;

// The archive's dialogue search through its trigram index.
//
// A message matches when upper(message), upper(sender) or upper(recipient)
// is LIKE upper(pattern). Every literal run of the upper-cased pattern (the
// text between "%" and "_") then stands in the upper-cased column as it is,
// so a column holding every run of three or more characters is a candidate,
// and the index of upper-cased columns finds the candidates. Each candidate is
// checked with the LIKE itself, so the result is exactly the LIKE's.
//
// The candidates are read newest first: the first match of a dialogue is its
// newest row, and the search stops once every dialogue has one. A pattern
// without a run of three characters, or an archive without a complete index,
// is searched with the plain statement.
class CvArchiveSearch {
public:
    // The name of the index table and the statements that create it and keep
    // it in step with `messages`.
    static const char16_t* const kIndexTable;
    static const std::vector<std::u16string>& IndexScript();
    // Refills the index from `messages` when its newest row is not the
    // table's (an archive from before the index). False when that fails.
    static bool CompleteIndex(CvDatabase2& database);

    // The dialogue list's rows for `pattern` (the dialogue statement's
    // srchstr), in its columns and order. `fallback` is the plain statement.
    static bool Run(CvDatabase2& database, const CvDbValue& pattern, const CvDbQuery& fallback,
                    bool indexReady, std::vector<CvDbSrvMemCursor2::Row>& rows);

    // The index query that finds the candidates for an upper-cased pattern:
    // every run of three or more characters in one column; "" when the
    // pattern has no such run.
    static std::u16string MatchExpression(const std::u16string& upperPattern);

    // Whether a row of `messages` matches the pattern :srchstr (the dialogue
    // statement's condition); `qualifier` prefixes the column names, such as
    // "m." where the statement joins other tables.
    static std::u16string MatchCondition(const std::u16string& qualifier = u"");
};
