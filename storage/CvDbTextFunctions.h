#pragma once

#include <string>

struct sqlite3;

// The text comparison a connection's statements use instead of SQLite's
// ASCII-only built-ins:
// - the collation "NOCASE" compares with an ICU collator for the locale at
//   secondary strength: letter case is ignored for every script, accents are
//   not, and the order is the locale's;
// - upper() upper-cases the whole Unicode range, so that the archive search
//   (upper(column) LIKE upper(pattern)) ignores case for Cyrillic or Greek as
//   it does for ASCII. LIKE itself stays SQLite's, with its "%" and "_".
namespace CvDbTextFunctions {

// Registers both on `db`; the collator lives as long as the connection.
// `localeName` as in LANG ("ru_RU.UTF-8"); "" or "C" uses the root order.
// Returns false (and registers nothing) when the collator cannot be made.
bool Install(sqlite3* db, const std::string& localeName);

}  // namespace CvDbTextFunctions
