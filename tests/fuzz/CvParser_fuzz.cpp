// Parses the input as a message text and checks the links found. The first
// byte picks the mode (3 is one the setting does not know); the rest is UTF-16
// in little-endian byte pairs, a trailing odd byte ignored.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/CvLinkUrl.h"
#include "app/CvParser.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool IsLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r' || c == u'\u2028' || c == u'\u2029';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const int mode = data[0] % 4;
    std::u16string text;
    for (size_t i = 1; i + 1 < size; i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    const int length = static_cast<int>(text.size());

    // The position the rich text control gives each index: one less for every
    // CR LF pair before it.
    std::vector<int> positions(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) {
        const bool crLfTail = i > 0 && text[i - 1] == u'\r' && text[i] == u'\n';
        positions[i + 1] = positions[i] + (crLfTail ? 0 : 1);
    }

    CvParser parser;
    parser.SetText(text);
    parser.SetMode(mode);
    parser.Parse();
    const std::vector<CvParserToken> tokens = parser.Tokens();
    if (mode == CvParser::kModeDisabled || mode == 3) {
        Check(tokens.empty());
    }

    int previousEnd = 0;
    for (const CvParserToken& token : tokens) {
        Check(token.type == CvParser::kTokenLink);
        Check(previousEnd <= token.start.index);
        Check(token.start.index < token.end.index && token.end.index <= length);
        Check(token.start.position == positions[static_cast<size_t>(token.start.index)]);
        Check(token.end.position == positions[static_cast<size_t>(token.end.index)]);
        Check(token.end.position - token.start.position == token.end.index - token.start.index);
        previousEnd = token.end.index;

        const std::u16string link = parser.TokenText(token);
        Check(static_cast<int>(link.size()) == token.end.index - token.start.index);
        for (const char16_t c : link) {
            Check(!IsLineBreak(c));
        }
        Check(!CvLinkUrl(link).empty());
    }

    // Parsing again gives the same result.
    parser.Parse();
    Check(parser.Tokens().size() == tokens.size());
    return 0;
}
