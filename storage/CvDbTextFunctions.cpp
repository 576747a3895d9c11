#include "storage/CvDbTextFunctions.h"

#include <sqlite3.h>
#include <unicode/ucol.h>

#include "platform/CvTextCodec.h"
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

void Upper(sqlite3_context* context, int, sqlite3_value** args) {
    const unsigned char* text = sqlite3_value_text(args[0]);
    if (!text) {
        return;  // NULL stays NULL
    }
    const int length = sqlite3_value_bytes(args[0]);
    std::string result(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
    bool ascii = true;
    for (char& c : result) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    if (!ascii) {
        result = CvText::UpperCase(
            std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(length)));
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
    return sqlite3_create_function_v2(db, "upper", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      Upper, nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace CvDbTextFunctions
