#include <gtest/gtest.h>

#include "app/CvCompoundText.h"
#include "app/CvFileTime.h"
#include "app/CvTimeStamp.h"

namespace {

TEST(CvCompoundText, ParsesPairsSkippingSeparators) {
    using Pairs = CvCompoundText::Pairs;
    struct Case {
        const char* text;
        Pairs pairs;
    };
    const Case cases[] = {
        {"color=004080, bkcolor=fffff0", {{"color", "004080"}, {"bkcolor", "fffff0"}}},
        {"name=Segoe UI, size=10", {{"name", "Segoe UI"}, {"size", "10"}}},
        {" ,, a=1,b=2 ,", {{"a", "1"}, {"b", "2 "}}},
        {"junk, size=", {{"size", ""}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CvCompoundText::Parse(c.text), c.pairs) << c.text;
    }
    EXPECT_EQ(CvCompoundText::Format({{"color", "004080"}, {"bkcolor", "fffff0"}}),
              "color=004080, bkcolor=fffff0");
    EXPECT_EQ(CvCompoundText::Find("name=Arial, size=9", "size"), "9");
    EXPECT_EQ(CvCompoundText::Find("name=Arial", "size"), std::nullopt);
}

TEST(CvCompoundText, ColoursAreHexInWindowsOrder) {
    EXPECT_EQ(CvCompoundText::ParseColor("004080"), 0x004080u);
    EXPECT_EQ(CvCompoundText::ParseColor("FFFFF0"), 0xfffff0u);
    EXPECT_EQ(CvCompoundText::ParseColor("12g4"), std::nullopt);
    EXPECT_EQ(CvCompoundText::ParseColor(""), std::nullopt);
    EXPECT_EQ(CvCompoundText::FormatColor(0x4080), "004080");
}

TEST(CvTimeStamp, FormatsLocalFileTime) {
    std::tm calendar{};
    calendar.tm_year = 2024 - 1900;
    calendar.tm_mon = 1;
    calendar.tm_mday = 29;
    calendar.tm_hour = 13;
    calendar.tm_min = 5;
    calendar.tm_sec = 9;
    EXPECT_EQ(CvTimeStampText(CvFileTime::FromCalendar(calendar, 999)), "2024-02-29 13:05:09");
    EXPECT_EQ(CvTimeStampText(0), "1601-01-01 00:00:00");

    const std::string now = CvTimeStampText();
    ASSERT_EQ(now.size(), 19u) << now;
    EXPECT_EQ(now[4], '-');
    EXPECT_EQ(now[10], ' ');
    EXPECT_EQ(now[16], ':');
}

}  // namespace
