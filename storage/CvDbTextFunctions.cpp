#include "storage/CvDbTextFunctions.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

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

// The sort key at the collator's strength, in hex.
void NoCaseKey(sqlite3_context* context, int, sqlite3_value** args) {
    const auto* text = static_cast<const UChar*>(sqlite3_value_text16(args[0]));
    if (!text) {
        return;  // NULL stays NULL
    }
    const int32_t length = sqlite3_value_bytes16(args[0]) / 2;
    const auto* collator = static_cast<const UCollator*>(sqlite3_user_data(context));
    std::vector<uint8_t> key(64);
    int32_t size = ucol_getSortKey(collator, text, length, key.data(), static_cast<int32_t>(key.size()));
    if (size > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<size_t>(size));
        size = ucol_getSortKey(collator, text, length, key.data(), size);
    }
    if (size <= 0) {
        sqlite3_result_error(context, "nocase_key: no collation key", -1);
        return;
    }
    // The key ends with a zero byte of its own.
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(static_cast<size_t>(size) * 2);
    for (int32_t i = 0; i + 1 < size; ++i) {
        hex += kDigits[key[static_cast<size_t>(i)] >> 4];
        hex += kDigits[key[static_cast<size_t>(i)] & 0xF];
    }
    sqlite3_result_text64(context, hex.data(), hex.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Without a collator "NOCASE" stays SQLite's, which folds ASCII letters only.
void AsciiNoCaseKey(sqlite3_context* context, int, sqlite3_value** args) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    if (!text) {
        return;
    }
    std::string key(text, static_cast<size_t>(sqlite3_value_bytes(args[0])));
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    sqlite3_result_text64(context, key.data(), key.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void DestroyCaseMap(void* caseMap) {
    ucasemap_close(static_cast<UCaseMap*>(caseMap));
}

// The result text, in SQLite's allocator so that SQLite takes it as it is.
class ResultBuffer {
public:
    ResultBuffer() = default;
    ~ResultBuffer() { sqlite3_free(m_data); }
    ResultBuffer(const ResultBuffer&) = delete;
    ResultBuffer& operator=(const ResultBuffer&) = delete;

    // Room for `more` (> 0 on the first call) bytes after the current end.
    bool Reserve(size_t more) {
        if (m_size + more <= m_capacity) {
            return true;
        }
        const size_t capacity = std::max(m_size + more, m_capacity * 2);
        char* data = static_cast<char*>(sqlite3_realloc64(m_data, capacity));
        if (data == nullptr) {
            return false;
        }
        m_data = data;
        m_capacity = capacity;
        return true;
    }
    char* End() { return m_data + m_size; }
    size_t Room() const { return m_capacity - m_size; }
    void Grow(size_t bytes) { m_size += bytes; }
    void Push(char c) { m_data[m_size++] = c; }

    void SetResult(sqlite3_context* context) {
        sqlite3_result_text64(context, m_data, m_size, sqlite3_free, SQLITE_UTF8);
        m_data = nullptr;
    }

private:
    char* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

// ASCII letters are mapped here; runs of other characters through ICU, whose
// per-character cost would otherwise dominate a search over every message.
// The root case mapping looks at no context, so mapping a text run by run
// gives the same result as mapping it whole.
void Upper(sqlite3_context* context, int, sqlite3_value** args) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    if (!text) {
        return;  // NULL stays NULL
    }
    const size_t length = static_cast<size_t>(sqlite3_value_bytes(args[0]));
    ResultBuffer result;
    if (!result.Reserve(length + 1)) {
        sqlite3_result_error_nomem(context);
        return;
    }
    const auto* caseMap = static_cast<const UCaseMap*>(sqlite3_user_data(context));
    for (size_t i = 0; i < length;) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) < 0x80) {
            result.Push((c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c);
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < length && static_cast<unsigned char>(text[end]) >= 0x80) {
            ++end;
        }
        for (;;) {
            UErrorCode status = U_ZERO_ERROR;
            const int32_t size =
                ucasemap_utf8ToUpper(caseMap, result.End(), static_cast<int32_t>(result.Room()),
                                     text + i, static_cast<int32_t>(end - i), &status);
            if (status == U_BUFFER_OVERFLOW_ERROR) {
                // Upper case may lengthen ("ß" -> "SS").
                if (!result.Reserve(static_cast<size_t>(size) + (length - end))) {
                    sqlite3_result_error_nomem(context);
                    return;
                }
                continue;
            }
            if (U_FAILURE(status)) {
                sqlite3_result_error(context, "upper: invalid text", -1);
                return;
            }
            result.Grow(static_cast<size_t>(size));
            break;
        }
        // The ASCII still to come is written without further checks.
        if (!result.Reserve(length - end)) {
            sqlite3_result_error_nomem(context);
            return;
        }
        i = end;
    }
    result.SetResult(context);
}

}  // namespace

bool Install(sqlite3* db, const std::string& localeName) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(CvIcuLocaleId(localeName).c_str(), &status);
    if (U_FAILURE(status)) {
        sqlite3_create_function_v2(db, "nocase_key", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   nullptr, AsciiNoCaseKey, nullptr, nullptr, nullptr);
        return false;
    }
    ucol_setStrength(collator, UCOL_SECONDARY);
    // SQLite calls the destructor itself, also when the registration fails.
    if (sqlite3_create_collation_v2(db, "NOCASE", SQLITE_UTF8, collator, CompareNoCase,
                                    DestroyCollator) != SQLITE_OK) {
        return false;
    }
    // The keys come from a collator of their own with the same settings.
    UCollator* keyCollator = ucol_open(CvIcuLocaleId(localeName).c_str(), &status);
    if (U_FAILURE(status)) {
        return false;
    }
    ucol_setStrength(keyCollator, UCOL_SECONDARY);
    if (sqlite3_create_function_v2(db, "nocase_key", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   keyCollator, NoCaseKey, nullptr, nullptr,
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
