#pragma once

#include <string>
#include <vector>

// A place in the parsed text. `index` counts UTF-16 units; `position` counts
// characters the way the rich text control does, where CR LF is one.
struct CvParserCursor {
    int index = 0;
    int position = 0;
};

// A range found in the text; `end` points just behind its last character.
struct CvParserToken {
    int type = 0;
    CvParserCursor start;
    CvParserCursor end;
};

// Finds the links in a message text so that a rich text control can show
// them as clickable ranges. Recognised forms, each starting a word:
//   \\host\share...            a network share (any mode but Disabled)
//   scheme://...               scheme http, https or ftp; any in kModeAny
//   mailto:...                 no "//" needed
//   <link with spaces>         inside angle brackets spaces do not end a link
// A link ends at a line break, at a ">" and, outside angle brackets, at a
// space. Scheme names are compared by ASCII letter case only, so that no
// other script's letters can spell a standard scheme.
class CvParser {
public:
    static constexpr int kTokenLink = 3;

    // The values of the MessagesHandleLinks setting.
    enum Mode : int { kModeDisabled = 0, kModeStandard = 1, kModeAny = 2 };

    // Empty text, detection disabled.
    CvParser();

    // Texts longer than INT_MAX units are scanned only up to that length.
    void SetText(std::u16string text);

    // A value outside 0..2 disables detection: an unknown setting never makes
    // text clickable.
    void SetMode(int mode);

    // Replaces the tokens with the links of the current text, in text order;
    // none when detection is disabled.
    void Parse();

    // The result of the last Parse().
    const std::vector<CvParserToken>& Tokens() const { return m_tokens; }

    // The characters from `token.start` to `token.end`; a range outside the
    // text is cut to it, so a token of another text never reads past the end.
    std::u16string TokenText(const CvParserToken& token) const;

private:
    char16_t At(int index) const { return m_text[static_cast<size_t>(index)]; }
    bool IsEndOfLink(int index, bool inBrackets) const;

    // Each leaves `cursor` behind the link and fills `token` on success, and
    // leaves `cursor` where it was otherwise.
    bool ScanLink(CvParserCursor& cursor, bool inBrackets, CvParserToken& token) const;
    bool ScanBracketLink(CvParserCursor& cursor, CvParserToken& token) const;

    // Index of the first character at or after `from` that ends a link body.
    int ScanLinkBody(int from, bool inBrackets) const;
    bool IsStandardProtocol(const std::u16string& scheme) const;
    void AddLink(CvParserCursor& cursor, int endIndex, CvParserToken& token) const;

    std::u16string m_text;
    int m_length = 0;
    int m_mode = kModeDisabled;
    std::vector<std::u16string> m_protocols;
    std::vector<CvParserToken> m_tokens;
};
