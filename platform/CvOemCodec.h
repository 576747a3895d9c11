#pragma once

#include <functional>
#include <mutex>
#include <string>

struct UConverter;

// Converts between UTF-8 (this platform's ANSI code page) and one OEM code
// page, as text travels on the wire. Characters the OEM page lacks become '?';
// invalid UTF-8 and unmapped OEM bytes become '?' as well. ASCII passes
// through unchanged. Thread-safe: the ICU converter is opened once and used
// under a lock.
class CvOemCodec {
public:
    // `codePage` is a Windows code page number (437, 850, 866, 932, ...).
    // Throws std::invalid_argument when ICU has no converter for it.
    explicit CvOemCodec(int codePage);
    // `converterName` is any ICU converter name or alias ("ibm-850",
    // "cp866", "windows-1258"). Throws std::invalid_argument when unknown.
    explicit CvOemCodec(const std::string& converterName);
    ~CvOemCodec();
    CvOemCodec(const CvOemCodec&) = delete;
    CvOemCodec& operator=(const CvOemCodec&) = delete;

    // The process-wide codec for the code page that CvText::ChooseOemCodePage
    // picks at first use.
    static const CvOemCodec& System();

    std::string ToOem(const std::string& utf8) const;
    std::string FromOem(const std::string& oem) const;

    // The code page number, or 0 when the codec was made from a converter
    // name that is not a plain number.
    int CodePage() const { return m_codePage; }
    // ICU's canonical name of the converter in use.
    const std::string& ConverterName() const { return m_converterName; }

private:
    void Open(const std::string& icuName);
    // Splits `text` at control characters, which pass unchanged, and converts
    // the pieces between them with `convert` under m_mutex.
    std::string ConvertPieces(const std::string& text,
                              const std::function<std::string(const std::string&)>& convert) const;
    std::string ToOemLocked(const std::string& utf8) const;
    std::string FromOemLocked(const std::string& oem) const;

    int m_codePage = 0;
    std::string m_converterName;
    mutable std::mutex m_mutex;
    UConverter* m_converter = nullptr;
};
