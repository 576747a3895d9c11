#include "platform/CvOemCodec.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include "platform/CvTextCodec.h"

namespace {

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool IsNumber(const std::string& text) {
    return !text.empty() && text.size() <= 5 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// ICU names of the Windows tables where the plain IBM table differs (the
// double-byte pages and the Windows-only ones).
std::vector<std::string> IcuNamesFor(int codePage) {
    switch (codePage) {
        case 932:
            return {"ibm-943_P15A-2003"};
        case 936:
            return {"windows-936-2000"};
        case 949:
            return {"windows-949-2000"};
        case 950:
            return {"windows-950-2000"};
        case 874:
            return {"windows-874-2000"};
        default:
            break;
    }
    const std::string number = std::to_string(codePage);
    return {"ibm-" + number, "windows-" + number, "cp" + number};
}

// Unmapped or illegal OEM bytes read as '?', like missing characters do in
// the other direction.
void ToUnicodeQuestionMark(const void* /*context*/, UConverterToUnicodeArgs* args,
                           const char* /*codeUnits*/, int32_t /*length*/,
                           UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR) {
        return;
    }
    *error = U_ZERO_ERROR;
    const UChar questionMark = u'?';
    ucnv_cbToUWriteUChars(args, &questionMark, 1, 0, error);
}

std::u16string Utf8ToUtf16(const std::string& utf8) {
    std::u16string utf16(utf8.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strFromUTF8WithSub(utf16.data(), static_cast<int32_t>(utf16.size()), &length, utf8.data(),
                         static_cast<int32_t>(utf8.size()), u'?', nullptr, &error);
    if (U_FAILURE(error)) {
        return std::u16string();
    }
    utf16.resize(static_cast<size_t>(length));
    return utf16;
}

std::string Utf16ToUtf8(const std::u16string& utf16) {
    std::string utf8(utf16.size() * 3 + 1, '\0');
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strToUTF8WithSub(utf8.data(), static_cast<int32_t>(utf8.size()), &length, utf16.data(),
                       static_cast<int32_t>(utf16.size()), u'?', nullptr, &error);
    if (U_FAILURE(error)) {
        return std::string();
    }
    utf8.resize(static_cast<size_t>(length));
    return utf8;
}

std::unique_ptr<CvOemCodec> MakeSystemCodec() {
    const std::string choice = CvText::ChooseOemCodePage();
    try {
        return IsNumber(choice) ? std::make_unique<CvOemCodec>(std::stoi(choice))
                                : std::make_unique<CvOemCodec>(choice);
    } catch (const std::invalid_argument&) {
        const int fallback = CvText::OemCodePageForLocale(CvText::CurrentLocaleName());
        std::fprintf(stderr, "corvane: unknown OEM code page \"%s\", using %d\n", choice.c_str(),
                     fallback);
        try {
            return std::make_unique<CvOemCodec>(fallback);
        } catch (const std::invalid_argument&) {
            return std::make_unique<CvOemCodec>(437);
        }
    }
}

}  // namespace

CvOemCodec::CvOemCodec(int codePage) : m_codePage(codePage) {
    if (codePage <= 0) {
        throw std::invalid_argument("no OEM code page " + std::to_string(codePage));
    }
    for (const std::string& name : IcuNamesFor(codePage)) {
        UErrorCode error = U_ZERO_ERROR;
        UConverter* converter = ucnv_open(name.c_str(), &error);
        if (U_SUCCESS(error) && converter != nullptr) {
            ucnv_close(converter);
            Open(name);
            return;
        }
    }
    throw std::invalid_argument("no converter for code page " + std::to_string(codePage));
}

CvOemCodec::CvOemCodec(const std::string& converterName) {
    if (IsNumber(converterName)) {
        m_codePage = std::stoi(converterName);
    }
    Open(converterName);
}

CvOemCodec::~CvOemCodec() {
    if (m_converter != nullptr) {
        ucnv_close(m_converter);
    }
}

void CvOemCodec::Open(const std::string& icuName) {
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(icuName.c_str(), &error);
    // ucnv_open may succeed with a warning for a fallback; an empty name
    // would open the default converter, which is not what was asked for.
    if (icuName.empty() || U_FAILURE(error) || converter == nullptr) {
        if (converter != nullptr) {
            ucnv_close(converter);
        }
        throw std::invalid_argument("no converter named \"" + icuName + "\"");
    }
    ucnv_setSubstChars(converter, "?", 1, &error);
    ucnv_setToUCallBack(converter, ToUnicodeQuestionMark, nullptr, nullptr, nullptr, &error);
    if (U_FAILURE(error)) {
        ucnv_close(converter);
        throw std::invalid_argument("cannot set up converter \"" + icuName + "\"");
    }
    m_converter = converter;
    const char* name = ucnv_getName(converter, &error);
    m_converterName = (U_SUCCESS(error) && name != nullptr) ? name : icuName;
}

const CvOemCodec& CvOemCodec::System() {
    static const std::unique_ptr<CvOemCodec> codec = MakeSystemCodec();
    return *codec;
}

std::string CvOemCodec::ToOem(const std::string& utf8) const {
    if (IsAscii(utf8)) {
        return utf8;
    }
    return ConvertPieces(utf8, [this](const std::string& piece) { return ToOemLocked(piece); });
}

std::string CvOemCodec::FromOem(const std::string& oem) const {
    if (IsAscii(oem)) {
        return oem;
    }
    return ConvertPieces(oem, [this](const std::string& piece) { return FromOemLocked(piece); });
}

std::string CvOemCodec::ConvertPieces(
    const std::string& text, const std::function<std::string(const std::string&)>& convert) const {
    // Control characters keep their values, as in the Windows tables; some
    // IBM tables in ICU swap 0x1A, 0x1C and 0x7F. A control byte is never part
    // of a multi-byte character, in UTF-8 or in the double-byte OEM pages.
    std::string result;
    result.reserve(text.size());
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && !IsControl(text[end])) {
            ++end;
        }
        if (end > start) {
            const std::string piece = text.substr(start, end - start);
            result += IsAscii(piece) ? piece : convert(piece);
        }
        while (end < text.size() && IsControl(text[end])) {
            result += text[end++];
        }
        start = end;
    }
    return result;
}

std::string CvOemCodec::ToOemLocked(const std::string& utf8) const {
    const std::u16string utf16 = Utf8ToUtf16(utf8);
    const int32_t capacity = UCNV_GET_MAX_BYTES_FOR_STRING(static_cast<int32_t>(utf16.size()),
                                                           ucnv_getMaxCharSize(m_converter)) +
                             1;
    std::string oem(static_cast<size_t>(capacity), '\0');
    UErrorCode error = U_ZERO_ERROR;
    const int32_t length = ucnv_fromUChars(m_converter, oem.data(), capacity, utf16.data(),
                                           static_cast<int32_t>(utf16.size()), &error);
    if (U_FAILURE(error)) {
        return std::string(CvText::CodePointCount(utf8), '?');
    }
    oem.resize(static_cast<size_t>(length));
    return oem;
}

std::string CvOemCodec::FromOemLocked(const std::string& oem) const {
    std::u16string utf16(oem.size() * 2 + 1, u'\0');
    UErrorCode error = U_ZERO_ERROR;
    int32_t length = ucnv_toUChars(m_converter, utf16.data(), static_cast<int32_t>(utf16.size()),
                                   oem.data(), static_cast<int32_t>(oem.size()), &error);
    if (error == U_BUFFER_OVERFLOW_ERROR) {
        utf16.assign(static_cast<size_t>(length) + 1, u'\0');
        error = U_ZERO_ERROR;
        length = ucnv_toUChars(m_converter, utf16.data(), static_cast<int32_t>(utf16.size()),
                               oem.data(), static_cast<int32_t>(oem.size()), &error);
    }
    if (U_FAILURE(error)) {
        return std::string(oem.size(), '?');
    }
    utf16.resize(static_cast<size_t>(length));
    return Utf16ToUtf8(utf16);
}
