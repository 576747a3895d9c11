#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/CvLinkUrl.h"
#include "app/CvParser.h"

namespace {

constexpr int kOff = CvParser::kModeDisabled;
constexpr int kStd = CvParser::kModeStandard;
constexpr int kAny = CvParser::kModeAny;

std::vector<std::u16string> Links(const std::u16string& text, int mode) {
    CvParser parser;
    parser.SetText(text);
    parser.SetMode(mode);
    parser.Parse();
    std::vector<std::u16string> links;
    for (const CvParserToken& token : parser.Tokens()) {
        EXPECT_EQ(token.type, CvParser::kTokenLink);
        links.push_back(parser.TokenText(token));
    }
    return links;
}

TEST(CvParser, FindsLinksByMode) {
    struct Case {
        std::u16string text;
        int mode;
        std::vector<std::u16string> links;
    };
    const Case cases[] = {
        // A space ends a link; inside angle brackets only the ">" does.
        {u"see http://example.com/a b", kStd, {u"http://example.com/a"}},
        {u"see <http://example.com/a b> c", kStd, {u"http://example.com/a b"}},
        {u"<http://x/a b", kStd, {u"http://x/a b"}},
        {u"http://a>http://b", kStd, {u"http://a"}},
        {u"one http://a two ftp://b https://c", kStd, {u"http://a", u"ftp://b", u"https://c"}},
        // Standard schemes in any letter case; others only in mode 2.
        {u"HTTP://x Https://y fTp://z", kStd, {u"HTTP://x", u"Https://y", u"fTp://z"}},
        {u"news://x", kStd, {}},
        {u"news://x", kAny, {u"news://x"}},
        {u"<news://x y>", kAny, {u"news://x y"}},
        {u"news:x", kAny, {}},
        // The scheme must start the word and hold no brackets.
        {u"xhttp://a", kStd, {}},
        {u"word<http://x>", kStd, {}},
        {u"<<http://x>", kAny, {}},
        {u"a<b://x", kAny, {}},
        // Letter case is folded for ASCII only: a dotless i spells no "mailto".
        {u"ma\u0131lto:a@b", kAny, {}},
        // Drive paths and "scheme:" without "//" are no links.
        {u"C:\\x", kStd, {}},
        {u"C:\\x", kAny, {}},
        {u"Re: hello", kAny, {}},
        // mailto needs no "//"; an address is required unless ">" closes it.
        {u"mailto:a@b.c", kStd, {u"mailto:a@b.c"}},
        {u"MailTo:a@b.c", kStd, {u"MailTo:a@b.c"}},
        {u"MAILTO:a@b.c,d@e.f", kAny, {u"MAILTO:a@b.c,d@e.f"}},
        {u"<mailto:a@b.c>", kStd, {u"mailto:a@b.c"}},
        {u"<mailto:john doe>", kStd, {u"mailto:john"}},
        {u"<mailto:>", kStd, {u"mailto:"}},
        {u"mailto:", kStd, {}},
        {u"mailto: a", kStd, {}},
        // Network shares, in both detecting modes.
        {u"\\\\host\\share\\f x", kStd, {u"\\\\host\\share\\f"}},
        {u"\\\\host\\share", kAny, {u"\\\\host\\share"}},
        {u"<\\\\host\\my share\\f.txt>", kStd, {u"\\\\host\\my share\\f.txt"}},
        {u"\\\\host>x", kStd, {u"\\\\host"}},
        // Texts that end, or a link body that is empty, right after a prefix.
        {u"", kStd, {}},
        {u"<", kStd, {}},
        {u"\\\\", kStd, {}},
        {u"\\\\ host", kStd, {}},
        {u"<\\\\>", kStd, {}},
        {u"http:", kStd, {}},
        {u"http:/", kStd, {}},
        {u"http://", kStd, {}},
        {u"http:// x", kStd, {}},
        {u"<http://>", kStd, {}},
        {u"://x", kAny, {}},
        {u"a:", kAny, {}},
        // Line ends: LF, CR, U+2028 and U+2029 end a link and start a word.
        {u"http://a\nhttp://b\rhttp://c\u2028http://d\u2029http://e",
         kStd,
         {u"http://a", u"http://b", u"http://c", u"http://d", u"http://e"}},
        {u"<http://a\nb>", kStd, {u"http://a"}},
        // Only U+0020 separates words.
        {u"\thttp://a", kStd, {}},
        {u"http://a\tb", kStd, {u"http://a\tb"}},
        {u"http://x/\U0001F600", kStd, {u"http://x/\U0001F600"}},
        // Disabled, and modes the setting does not know.
        {u"http://a \\\\h\\s mailto:a", kOff, {}},
        {u"http://a \\\\h\\s mailto:a", 3, {}},
        {u"http://a \\\\h\\s mailto:a", -1, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Links(c.text, c.mode), c.links) << "mode " << c.mode;
    }
}

TEST(CvParser, PositionsCountCrLfAsOneCharacter) {
    struct Range {
        int startIndex, startPosition, endIndex, endPosition;
        bool operator==(const Range&) const = default;
    };
    struct Case {
        std::u16string text;
        std::vector<Range> ranges;
    };
    const Case cases[] = {
        {u"a\r\nhttp://x\r\n\r\n<ftp://y>\rz\n\\\\h\\s",
         {{3, 2, 11, 10}, {16, 13, 23, 20}, {27, 24, 32, 29}}},
        // Every other line break is one character for both.
        {u"\n\r\u2028\u2029http://x", {{4, 4, 12, 12}}},
        {u"\r\n\r\n http://x\r\n", {{5, 3, 13, 11}}},
    };
    for (const auto& c : cases) {
        CvParser parser;
        parser.SetMode(kStd);
        parser.SetText(c.text);
        parser.Parse();
        std::vector<Range> ranges;
        for (const CvParserToken& token : parser.Tokens()) {
            ranges.push_back(
                {token.start.index, token.start.position, token.end.index, token.end.position});
        }
        ASSERT_EQ(ranges.size(), c.ranges.size());
        for (size_t i = 0; i < ranges.size(); ++i) {
            EXPECT_TRUE(ranges[i] == c.ranges[i])
                << "link " << i << ": " << ranges[i].startIndex << "/" << ranges[i].startPosition
                << " - " << ranges[i].endIndex << "/" << ranges[i].endPosition;
        }
    }
}

TEST(CvParser, ParseFollowsTheLatestTextAndMode) {
    CvParser parser;
    parser.SetText(u"http://a news://b");
    parser.Parse();
    EXPECT_TRUE(parser.Tokens().empty()) << "a new parser detects nothing";

    parser.SetMode(kAny);
    parser.Parse();
    ASSERT_EQ(parser.Tokens().size(), 2u);

    parser.SetMode(kStd);
    parser.Parse();
    ASSERT_EQ(parser.Tokens().size(), 1u);
    EXPECT_EQ(parser.TokenText(parser.Tokens()[0]), u"http://a");

    parser.SetText(u"none here");
    parser.Parse();
    EXPECT_TRUE(parser.Tokens().empty());

    parser.SetText(u"mailto:x");
    parser.SetMode(kOff);
    parser.Parse();
    EXPECT_TRUE(parser.Tokens().empty());
}

TEST(CvParser, TokenTextStaysInsideTheText) {
    CvParser parser;
    parser.SetText(u"abc");
    CvParserToken token;
    token.start.index = 1;
    token.end.index = 99;
    EXPECT_EQ(parser.TokenText(token), u"bc");
    token.start.index = -5;
    token.end.index = 2;
    EXPECT_EQ(parser.TokenText(token), u"ab");
    token.start.index = 50;
    token.end.index = 60;
    EXPECT_EQ(parser.TokenText(token), u"");
}

TEST(CvLinkUrl, SharesBecomeSmbUrlsOtherLinksPassUnchanged) {
    struct Case {
        std::u16string link;
        std::string url;
    };
    const Case cases[] = {
        {u"\\\\host\\share\\dir\\f.txt", "smb://host/share/dir/f.txt"},
        {u"\\\\host\\my share", "smb://host/my share"},
        {u"\\\\h", "smb://h"},
        {u"http://x/a\\b c", "http://x/a\\b c"},
        {u"mailto:j\u00f6rg@x", "mailto:j\xc3\xb6rg@x"},
        {u"\\\\\u0445\u043e\u0441\u0442\\s", "smb://\xd1\x85\xd0\xbe\xd1\x81\xd1\x82/s"},
        {u"http://x/\U0001F600", "http://x/\xf0\x9f\x98\x80"},
        {std::u16string(u"http://x/") + char16_t(0xD800) + u"y", "http://x/\xef\xbf\xbdy"},
        {std::u16string(u"http://x/") + char16_t(0xDC00), "http://x/\xef\xbf\xbd"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CvLinkUrl(c.link), c.url) << c.url;
    }
}

// A mail link may fill in the subject and the text of a new mail, nothing
// more: fields that attach files or add recipients are dropped.
TEST(CvLinkUrl, MailLinksKeepOnlySubjectAndBody) {
    struct Case {
        std::u16string link;
        std::string url;
    };
    const Case cases[] = {
        {u"mailto:a@x?attach=/home/u/.ssh/id_rsa", "mailto:a@x"},
        {u"MailTo:a@x?Subject=hi&attachment=%2Fetc%2Fpasswd&BODY=yo&cc=b@y",
         "MailTo:a@x?Subject=hi&BODY=yo"},
        {u"mailto:a@x?bcc=b@y&body=text", "mailto:a@x?body=text"},
        {u"mailto:a@x?subject=s#frag", "mailto:a@x?subject=s"},
        {u"mailto:a@x?", "mailto:a@x"},
        {u"mailto:?to=b@y&subject=x", "mailto:?subject=x"},
        {u"mailto:a@x,b@y", "mailto:a@x,b@y"},
        {u"mailto:a@x?subjectx=1&subject", "mailto:a@x?subject"},
        // Only mail links: other queries are the site's business.
        {u"http://x/?attach=1&a=b", "http://x/?attach=1&a=b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CvLinkUrl(c.link), c.url) << c.url;
    }
}

TEST(CvLinkUrl, OnlyStandardSchemesOpenAtOnceAndLocalFilesNever) {
    const std::pair<const char*, CvLinkOpen> cases[] = {
        {"http://x/", CvLinkOpen::Open},
        {"HTTPS://x/", CvLinkOpen::Open},
        {"ftp://x/f", CvLinkOpen::Open},
        {"mailto:a@x", CvLinkOpen::Open},
        {"smb://host/share", CvLinkOpen::Ask},
        {"irc://chat.example", CvLinkOpen::Ask},
        {"x-custom+handler.v2://run", CvLinkOpen::Ask},
        {"file:///etc/passwd", CvLinkOpen::Refuse},
        {"FILE://host/share", CvLinkOpen::Refuse},
        {"/etc/passwd", CvLinkOpen::Refuse},
        {"", CvLinkOpen::Refuse},
        {":x", CvLinkOpen::Refuse},
        {"1http://x", CvLinkOpen::Refuse},
        {"ht tp://x", CvLinkOpen::Refuse},
    };
    for (const auto& [url, rule] : cases) {
        EXPECT_EQ(CvLinkOpenRule(url), rule) << url;
    }
}

}  // namespace
