#include "app/CvParser.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace {

constexpr char16_t kSpace = u' ';
constexpr char16_t kLineFeed = u'\n';
constexpr char16_t kCarriageReturn = u'\r';
constexpr char16_t kLineSeparator = u'\u2028';
constexpr char16_t kParagraphSeparator = u'\u2029';

bool IsSpace(char16_t c) {
    return c == kSpace;
}

bool IsLineBreak(char16_t c) {
    return c == kLineFeed || c == kCarriageReturn || c == kLineSeparator ||
           c == kParagraphSeparator;
}

char16_t AsciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c;
}

std::u16string AsciiLower(std::u16string text) {
    for (char16_t& c : text) {
        c = AsciiLower(c);
    }
    return text;
}

void Advance(CvParserCursor& cursor, int count) {
    cursor.index += count;
    cursor.position += count;
}

}  // namespace

CvParser::CvParser() : m_protocols{u"mailto", u"http", u"https", u"ftp"} {}

void CvParser::SetText(std::u16string text) {
    m_text = std::move(text);
    m_length = static_cast<int>(std::min<size_t>(m_text.size(), INT_MAX));
}

void CvParser::SetMode(int mode) {
    m_mode = (mode == kModeStandard || mode == kModeAny) ? mode : kModeDisabled;
}

void CvParser::Parse() {
    m_tokens.clear();
    if (m_mode == kModeDisabled) {
        return;
    }
    CvParserCursor cursor;
    while (cursor.index < m_length) {
        while (cursor.index < m_length && IsSpace(At(cursor.index))) {
            Advance(cursor, 1);
        }
        if (cursor.index >= m_length) {
            break;
        }
        CvParserToken token;
        if (ScanLink(cursor, false, token) || ScanBracketLink(cursor, token)) {
            m_tokens.push_back(token);
        } else {
            // A plain word; links are only looked for where a word starts.
            while (cursor.index < m_length && !IsSpace(At(cursor.index)) &&
                   !IsLineBreak(At(cursor.index))) {
                Advance(cursor, 1);
            }
        }
        if (cursor.index < m_length && IsLineBreak(At(cursor.index))) {
            const bool crLf = At(cursor.index) == kCarriageReturn && cursor.index + 1 < m_length &&
                              At(cursor.index + 1) == kLineFeed;
            Advance(cursor, 1);
            if (crLf) {
                ++cursor.index;  // the control counts CR LF as one character
            }
        }
    }
}

std::u16string CvParser::TokenText(const CvParserToken& token) const {
    const int start = std::clamp(token.start.index, 0, m_length);
    const int end = std::clamp(token.end.index, start, m_length);
    return m_text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
}

bool CvParser::IsEndOfLink(int index, bool inBrackets) const {
    const char16_t c = At(index);
    return IsLineBreak(c) || c == u'>' || (!inBrackets && IsSpace(c));
}

int CvParser::ScanLinkBody(int from, bool inBrackets) const {
    int index = from;
    while (index < m_length && !IsEndOfLink(index, inBrackets)) {
        ++index;
    }
    return index;
}

bool CvParser::IsStandardProtocol(const std::u16string& scheme) const {
    const std::u16string lower = AsciiLower(scheme);
    return std::find(m_protocols.begin(), m_protocols.end(), lower) != m_protocols.end();
}

void CvParser::AddLink(CvParserCursor& cursor, int endIndex, CvParserToken& token) const {
    // A link never holds a line break, so index and position move together.
    token.type = kTokenLink;
    token.start = cursor;
    Advance(cursor, endIndex - cursor.index);
    token.end = cursor;
}

bool CvParser::ScanLink(CvParserCursor& cursor, bool inBrackets, CvParserToken& token) const {
    const int start = cursor.index;

    // A network share. The backslashes alone are no link: something must follow them.
    if (m_length - start > 2 && At(start) == u'\\' && At(start + 1) == u'\\') {
        const int end = ScanLinkBody(start + 2, inBrackets);
        if (end == start + 2) {
            return false;
        }
        AddLink(cursor, end, token);
        return true;
    }

    int colon = start;
    while (colon < m_length && At(colon) != u':') {
        const char16_t c = At(colon);
        if (IsSpace(c) || IsLineBreak(c) || c == u'<' || c == u'>') {
            return false;
        }
        ++colon;
    }
    if (colon >= m_length || colon == start) {
        return false;  // no colon in this word, or no scheme before it
    }
    const std::u16string scheme =
        m_text.substr(static_cast<size_t>(start), static_cast<size_t>(colon - start));
    if (m_mode == kModeStandard && !IsStandardProtocol(scheme)) {
        return false;
    }

    if (AsciiLower(scheme) == u"mailto") {
        // An address is optional only where a ">" closes the link: "<mailto:>"
        // opens an empty mail.
        int end = colon + 1;
        while (end < m_length && !IsSpace(At(end)) && !IsLineBreak(At(end)) && At(end) != u'>') {
            ++end;
        }
        const bool closedByBracket = end < m_length && At(end) == u'>';
        if (!closedByBracket && end == colon + 1) {
            return false;
        }
        AddLink(cursor, end, token);
        return true;
    }

    // "scheme:" alone, as in "Re: x" or "C:\x", is no link: "//" and something
    // behind it must follow.
    if (m_length - colon <= 3 || At(colon + 1) != u'/' || At(colon + 2) != u'/') {
        return false;
    }
    const int bodyStart = colon + 3;
    const int end = ScanLinkBody(bodyStart, inBrackets);
    if (end == bodyStart) {
        return false;
    }
    AddLink(cursor, end, token);
    return true;
}

bool CvParser::ScanBracketLink(CvParserCursor& cursor, CvParserToken& token) const {
    if (cursor.index >= m_length || At(cursor.index) != u'<') {
        return false;
    }
    CvParserCursor inner = cursor;
    Advance(inner, 1);
    if (!ScanLink(inner, true, token)) {
        return false;
    }
    if (inner.index < m_length && At(inner.index) == u'>') {
        Advance(inner, 1);
    }
    cursor = inner;
    return true;
}
