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
//   it does for ASCII. LIKE itself stays SQLite's, with its "%" and "_";
// - nocase_key(text) is the text's collation key for "NOCASE" (hex text,
//   NULL for NULL): two texts have the same key exactly when "NOCASE" finds
//   them equal, so a program can group names as the collation does without
//   comparing every pair.
namespace CvDbTextFunctions {

// Registers the three on `db`; the collators live as long as the connection.
// `localeName` as in LANG ("ru_RU.UTF-8"); "" or "C" uses the root order.
// Returns false when the collator cannot be made; only nocase_key is then
// registered, folding ASCII letters as SQLite's own "NOCASE" does.
bool Install(sqlite3* db, const std::string& localeName);

}  // namespace CvDbTextFunctions
