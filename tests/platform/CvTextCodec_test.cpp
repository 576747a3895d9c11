#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/CvOemCodec.h"
#include "platform/CvTextCodec.h"
#include "support/TestEnv.h"

namespace {

struct OemCase {
    int codePage;
    std::string utf8;
    std::string oem;
};

TEST(CvOemCodec, ConvertsBothWaysThroughTheOemPage) {
    const std::vector<OemCase> cases = {
        {850, "Grüße",
         "Gr\x81\xE1"
         "e"},
        {437, "Grüße",
         "Gr\x81\xE1"
         "e"},
        {866, "Привет", "\x8F\xE0\xA8\xA2\xA5\xE2"},
        {852, "Łódź", "\x9D\xA2\x64\xAB"},
        {737, "Αθήνα", "\x80\x9F\xE3\xA4\x98"},
        {932, "日本", "\x93\xFA\x96\x7B"},
        {850, "plain ASCII\r\n", "plain ASCII\r\n"},
        {850, "", ""},
    };
    for (const OemCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.codePage) + ": " + c.utf8);
        CvOemCodec codec(c.codePage);
        EXPECT_EQ(codec.CodePage(), c.codePage);
        EXPECT_EQ(codec.ToOem(c.utf8), c.oem);
        EXPECT_EQ(codec.FromOem(c.oem), c.utf8);
    }
}

TEST(CvOemCodec, MissingCharactersAndInvalidInputBecomeQuestionMarks) {
    CvOemCodec cp850(850);
    EXPECT_EQ(cp850.ToOem("Привет, Jörg"), "??????, J\x94rg");
    EXPECT_EQ(cp850.ToOem("a€b"), "a?b");     // CP850 has no euro sign
    EXPECT_EQ(cp850.ToOem("x\xFFy"), "x?y");  // invalid UTF-8
    EXPECT_EQ(cp850.ToOem("😀"), "?");         // outside the BMP: one character, one '?'
    CvOemCodec cp932(932);
    EXPECT_EQ(cp932.FromOem("a\x81"), "a?");  // lead byte without its trail
    // Control characters keep their values, as they do on Windows.
    EXPECT_EQ(cp850.ToOem("\x1A\x1C\x7F\xC3\xA9"), "\x1A\x1C\x7F\x82");
    EXPECT_EQ(cp850.FromOem("\x1A\x1C\x7F\x82"), "\x1A\x1C\x7F\xC3\xA9");
    EXPECT_EQ(cp932.ToOem("日\x1A本\r\n"), "\x93\xFA\x1A\x96\x7B\r\n");
    EXPECT_EQ(cp932.FromOem("\x93\xFA\x1A\x96\x7B\x7F"), "日\x1A本\x7F");
}

TEST(CvOemCodec, EveryDefinedByteOfASingleBytePageSurvivesARoundTrip) {
    for (int codePage : {437, 850, 852, 866, 737, 857, 862, 775, 720}) {
        SCOPED_TRACE(codePage);
        CvOemCodec codec(codePage);
        int defined = 0;
        for (int b = 1; b < 256; ++b) {
            const std::string byte(1, static_cast<char>(b));
            const std::string text = codec.FromOem(byte);
            if (text != "?") {
                ++defined;
                EXPECT_EQ(codec.ToOem(text), byte) << b;
            }
        }
        // A few pages leave some bytes undefined; those read as '?'.
        EXPECT_GE(defined, 240);
    }
}

TEST(CvOemCodec, AcceptsConverterNamesAndRejectsUnknownPages) {
    CvOemCodec byName("cp866");
    EXPECT_EQ(byName.ToOem("Да"), "\x84\xA0");
    EXPECT_EQ(byName.CodePage(), 0);
    EXPECT_EQ(CvOemCodec("866").CodePage(), 866);
    EXPECT_THROW(CvOemCodec(12345), std::invalid_argument);
    EXPECT_THROW(CvOemCodec(0), std::invalid_argument);
    EXPECT_THROW(CvOemCodec("no-such-page"), std::invalid_argument);
    EXPECT_THROW(CvOemCodec{std::string()}, std::invalid_argument);
}

TEST(CvOemCodec, SharedCodecConvertsFromManyThreads) {
    CvOemCodec codec(866);
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&codec, &failures, t] {
            for (int i = 0; i < 2000; ++i) {
                if (codec.FromOem(codec.ToOem("Привет " + std::to_string(i))) !=
                    "Привет " + std::to_string(i)) {
                    ++failures[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(CvText, OemCodePageFollowsTheLocaleAsWindowsDoes) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"en_US.UTF-8", 437}, {"en_GB.UTF-8", 850},
        {"de_DE.UTF-8", 850}, {"fr_FR", 850},
        {"pt_BR.UTF-8", 850}, {"ru_RU.UTF-8", 866},
        {"uk_UA.UTF-8", 866}, {"pl_PL.UTF-8", 852},
        {"cs_CZ", 852},       {"el_GR.UTF-8", 737},
        {"tr_TR.UTF-8", 857}, {"he_IL.UTF-8", 862},
        {"ar_EG.UTF-8", 720}, {"lt_LT.UTF-8", 775},
        {"ja_JP.UTF-8", 932}, {"zh_CN.UTF-8", 936},
        {"zh_TW.UTF-8", 950}, {"ko_KR.UTF-8", 949},
        {"th_TH.UTF-8", 874}, {"vi_VN", 1258},
        {"sr_RS", 855},       {"sr_RS@latin", 852},
        {"C", 437},           {"POSIX", 437},
        {"C.UTF-8", 437},     {"", 437},
        {"xx_YY.UTF-8", 437}, {"de", 850},
    };
    for (const auto& [locale, codePage] : cases) {
        EXPECT_EQ(CvText::OemCodePageForLocale(locale), codePage) << locale;
        // Every page the table can choose must have a converter.
        EXPECT_NO_THROW(CvOemCodec{codePage}) << codePage;
    }
}

TEST(CvText, LocaleVariablesAndOverrideChooseTheCodePage) {
    ScopedEnv lcAll("LC_ALL", std::nullopt);
    ScopedEnv lcCtype("LC_CTYPE", "ru_RU.UTF-8");
    ScopedEnv lang("LANG", "de_DE.UTF-8");
    ScopedEnv overridePage("CORVANE_OEM_CODEPAGE", std::nullopt);
    EXPECT_EQ(CvText::CurrentLocaleName(), "ru_RU.UTF-8");
    EXPECT_EQ(CvText::ChooseOemCodePage(), "866");
    {
        ScopedEnv all("LC_ALL", "el_GR.UTF-8");
        EXPECT_EQ(CvText::ChooseOemCodePage(), "737");
    }
    {
        ScopedEnv ctype("LC_CTYPE", "");
        EXPECT_EQ(CvText::ChooseOemCodePage(), "850");
    }
    {
        ScopedEnv ctype("LC_CTYPE", std::nullopt);
        ScopedEnv noLang("LANG", std::nullopt);
        EXPECT_EQ(CvText::CurrentLocaleName(), "C");
        EXPECT_EQ(CvText::ChooseOemCodePage(), "437");
    }
    {
        ScopedEnv page("CORVANE_OEM_CODEPAGE", " 852 ");
        EXPECT_EQ(CvText::ChooseOemCodePage(), "852");
    }
    {
        ScopedEnv page("CORVANE_OEM_CODEPAGE", "ibm-775");
        EXPECT_EQ(CvText::ChooseOemCodePage(), "ibm-775");
    }
}

TEST(CvText, SystemCodecMatchesItsCodePage) {
    const std::string page = CvText::OemCodePage();
    ASSERT_FALSE(page.empty());
    const CvOemCodec& system = CvOemCodec::System();
    EXPECT_EQ(&system, &CvOemCodec::System());
    EXPECT_EQ(CvText::FromOem(CvText::ToOem("Hello")), "Hello");
}

TEST(CvText, UpperCaseCoversFullUnicode) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"jsmith-pc", "JSMITH-PC"}, {"straße", "STRASSE"}, {"привет", "ПРИВЕТ"},
        {"αθήνα", "ΑΘΉΝΑ"},         {"éçà", "ÉÇÀ"},        {"", ""},
        {"istanbul", "ISTANBUL"},   {"日本", "日本"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(CvText::UpperCase(in), out) << in;
    }
    EXPECT_EQ(CvText::UpperCase("a\xFF"
                                "b"),
              "A\xEF\xBF\xBD"
              "B");
}

TEST(CvText, CountsAndCutsWholeCodePoints) {
    struct Case {
        std::string text;
        size_t count;
        size_t cutTo;
        std::string cut;
    };
    const std::vector<Case> cases = {
        {"hello", 5, 3, "hel"},
        {"Grüße", 5, 3, "Grü"},
        {"Привет", 6, 1, "П"},
        {"a😀b", 3, 2, "a😀"},
        {"日本語", 3, 10, "日本語"},
        {"", 0, 5, ""},
        {"abc", 3, 0, ""},
        {"a\xFF\xFE"
         "b",
         4, 2, "a\xFF"},                     // stray bytes count one each
        {"a\xE6\x97", 3, 2, "a\xE6"},        // truncated sequence at the end
        {"\xC0\xAF", 2, 1, "\xC0"},          // overlong form is invalid
        {"\xED\xA0\x80", 3, 1, "\xED"},      // encoded surrogate is invalid
        {"\xF4\x90\x80\x80", 4, 1, "\xF4"},  // beyond U+10FFFF
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CvText::CodePointCount(c.text), c.count);
        EXPECT_EQ(CvText::CutToCodePoints(c.text, c.cutTo), c.cut);
    }
}

}  // namespace
