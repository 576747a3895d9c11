#pragma once

#include <memory>
#include <string>

#include <unicode/datefmt.h>

// Formats stored archive time stamps ("yyyy-MM-dd HH:mm:ss") the way the
// user's locale writes a short date and a time with seconds.
class CvLocaleDateTimeFormat {
public:
    // `localeName` as in LANG ("de_DE.UTF-8"); "" or "C" uses the root
    // locale's formats.
    explicit CvLocaleDateTimeFormat(const std::string& localeName);
    // Explicit ICU patterns, e.g. "d MMM, y" and "HH:mm:ss".
    CvLocaleDateTimeFormat(const std::string& datePattern, const std::string& timePattern);
    ~CvLocaleDateTimeFormat();
    CvLocaleDateTimeFormat(const CvLocaleDateTimeFormat&) = delete;
    CvLocaleDateTimeFormat& operator=(const CvLocaleDateTimeFormat&) = delete;

    // Date and time of a stored time stamp, as wall-clock values (no time
    // zone shift). False when the text is not a time stamp or the locale has
    // no formats; the outputs are then empty.
    bool Format(const std::string& timeStamp, std::string& date, std::string& time) const;

private:
    std::unique_ptr<icu::DateFormat> m_date;
    std::unique_ptr<icu::DateFormat> m_time;
};
