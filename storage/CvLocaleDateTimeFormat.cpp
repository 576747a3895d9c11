#include "storage/CvLocaleDateTimeFormat.h"

#include <cstdio>
#include <utility>

#include <unicode/datefmt.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include "storage/CvIcuLocale.h"

namespace {

icu::Locale LocaleFor(const std::string& localeName) {
    const std::string id = CvIcuLocaleId(localeName);
    return id.empty() ? icu::Locale::getRoot() : icu::Locale::createCanonical(id.c_str());
}

std::unique_ptr<icu::DateFormat> MakeFormat(icu::DateFormat* format) {
    std::unique_ptr<icu::DateFormat> result(format);
    if (result) {
        result->adoptTimeZone(icu::TimeZone::createTimeZone("Etc/UTC"));
    }
    return result;
}

}  // namespace

CvLocaleDateTimeFormat::CvLocaleDateTimeFormat(const std::string& localeName) {
    const icu::Locale locale = LocaleFor(localeName);
    m_date = MakeFormat(icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale));
    // The medium style is the locale's time with seconds.
    m_time = MakeFormat(icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, locale));
}

CvLocaleDateTimeFormat::CvLocaleDateTimeFormat(const std::string& datePattern,
                                               const std::string& timePattern) {
    for (auto [pattern, format] : {std::pair{&datePattern, &m_date}, {&timePattern, &m_time}}) {
        UErrorCode status = U_ZERO_ERROR;
        auto simple = std::make_unique<icu::SimpleDateFormat>(
            icu::UnicodeString::fromUTF8(*pattern), icu::Locale::getRoot(), status);
        if (U_SUCCESS(status)) {
            *format = MakeFormat(simple.release());
        }
    }
}

CvLocaleDateTimeFormat::~CvLocaleDateTimeFormat() = default;

bool CvLocaleDateTimeFormat::Format(const std::string& timeStamp, std::string& date,
                                    std::string& time) const {
    date.clear();
    time.clear();
    int year, month, day, hour, minute, second;
    char end;
    if (timeStamp.size() != 19 ||
        std::sscanf(timeStamp.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour,
                    &minute, &second, &end) != 6 ||
        !m_date || !m_time) {
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::GregorianCalendar calendar(*icu::TimeZone::getGMT(), status);
    calendar.setLenient(false);
    calendar.set(year, month - 1, day, hour, minute, second);
    const UDate when = calendar.getTime(status);
    if (U_FAILURE(status)) {
        return false;
    }
    icu::UnicodeString dateText, timeText;
    m_date->format(when, dateText);
    m_time->format(when, timeText);
    dateText.toUTF8String(date);
    timeText.toUTF8String(time);
    return true;
}
