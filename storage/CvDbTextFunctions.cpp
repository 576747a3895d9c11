#include "storage/CvDbTextFunctions.h"

#include <string>

#include <sqlite3.h>
#include <unicode/ucasemap.h>
#include <unicode/ucol.h>

#include "storage/CvIcuLocale.h"

namespace CvDbTextFunctions {
namespace {

int CompareNoCase(void* collator, int lengthA, const void* a, int lengthB, const void* b) {
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        ucol_strcollUTF8(static_cast<UCollator*>(collator), static_cast<const char*>(a), lengthA,
                         static_cast<const char*>(b), lengthB, &status);
    if (U_FAILURE(status)) {
        return 0;
    }
    return result == UCOL_LESS ? -1 : (result == UCOL_GREATER ? 1 : 0);
}

void DestroyCollator(void* collator) {
    ucol_close(static_cast<UCollator*>(collator));
}

void DestroyCaseMap(void* caseMap) {
    ucasemap_close(static_cast<UCaseMap*>(caseMap));
}

// Appends the upper case of `run` (non-ASCII UTF-8) to `out`. The root case
// mapping looks at no context, so mapping a text run by run gives the same
// result as mapping it whole.
bool AppendUpperRun(const UCaseMap* caseMap, const char* run, int32_t length, std::string& out) {
    const size_t offset = out.size();
    int32_t capacity = length * 3 + 8;  // upper case may lengthen ("ß" -> "SS")
    for (;;) {
        out.resize(offset + static_cast<size_t>(capacity));
        UErrorCode status = U_ZERO_ERROR;
        const int32_t size =
            ucasemap_utf8ToUpper(caseMap, out.data() + offset, capacity, run, length, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            capacity = size;
            continue;
        }
        if (U_FAILURE(status)) {
            return false;
        }
        out.resize(offset + static_cast<size_t>(size));
        return true;
    }
}

// ASCII letters are mapped here; runs of other characters through ICU, whose
// per-character cost would otherwise dominate a search over every message.
void Upper(sqlite3_context* context, int, sqlite3_value** args) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    if (!text) {
        return;  // NULL stays NULL
    }
    const int length = sqlite3_value_bytes(args[0]);
    std::string result;
    result.reserve(static_cast<size_t>(length));
    const auto* caseMap = static_cast<const UCaseMap*>(sqlite3_user_data(context));
    for (int i = 0; i < length;) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) < 0x80) {
            result += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            ++i;
            continue;
        }
        int end = i + 1;
        while (end < length && static_cast<unsigned char>(text[end]) >= 0x80) {
            ++end;
        }
        if (!AppendUpperRun(caseMap, text + i, end - i, result)) {
            sqlite3_result_error(context, "upper: invalid text", -1);
            return;
        }
        i = end;
    }
    sqlite3_result_text64(context, result.data(), result.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

}  // namespace

bool Install(sqlite3* db, const std::string& localeName) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(CvIcuLocaleId(localeName).c_str(), &status);
    if (U_FAILURE(status)) {
        return false;
    }
    ucol_setStrength(collator, UCOL_SECONDARY);
    // SQLite calls the destructor itself, also when the registration fails.
    if (sqlite3_create_collation_v2(db, "NOCASE", SQLITE_UTF8, collator, CompareNoCase,
                                    DestroyCollator) != SQLITE_OK) {
        return false;
    }
    // The root case mapping: the same for every locale, like the upper-casing
    // the program uses elsewhere.
    UCaseMap* caseMap = ucasemap_open("", 0, &status);
    if (U_FAILURE(status)) {
        return false;
    }
    return sqlite3_create_function_v2(db, "upper", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, caseMap,
                                      Upper, nullptr, nullptr, DestroyCaseMap) == SQLITE_OK;
}

}  // namespace CvDbTextFunctions
