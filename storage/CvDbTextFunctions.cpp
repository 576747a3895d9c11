#include "storage/CvDbTextFunctions.h"

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

// ASCII in place; anything else through ICU's UTF-8 case mapping, which may
// lengthen the text ("ß" -> "SS").
void Upper(sqlite3_context* context, int, sqlite3_value** args) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    if (!text) {
        return;  // NULL stays NULL
    }
    const int length = sqlite3_value_bytes(args[0]);
    char* result = static_cast<char*>(sqlite3_malloc64(static_cast<sqlite3_uint64>(length) + 1));
    if (!result) {
        sqlite3_result_error_nomem(context);
        return;
    }
    int i = 0;
    for (; i < length && static_cast<unsigned char>(text[i]) < 0x80; ++i) {
        const char c = text[i];
        result[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (i == length) {
        sqlite3_result_text64(context, result, static_cast<sqlite3_uint64>(length), sqlite3_free,
                              SQLITE_UTF8);
        return;
    }
    const auto* caseMap = static_cast<const UCaseMap*>(sqlite3_user_data(context));
    int32_t capacity = length + 1;
    for (;;) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t size = ucasemap_utf8ToUpper(caseMap, result, capacity, text, length, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            sqlite3_free(result);
            capacity = size + 1;
            result = static_cast<char*>(sqlite3_malloc64(static_cast<sqlite3_uint64>(capacity)));
            if (!result) {
                sqlite3_result_error_nomem(context);
                return;
            }
            continue;
        }
        if (U_FAILURE(status)) {
            sqlite3_free(result);
            sqlite3_result_error(context, "upper: invalid text", -1);
            return;
        }
        sqlite3_result_text64(context, result, static_cast<sqlite3_uint64>(size), sqlite3_free,
                              SQLITE_UTF8);
        return;
    }
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
