#pragma once

#include <cstddef>
#include <string>

#include "messaging/CMsg.h"

// One received message as one line of text for a terminal or a program, and
// the one sanitiser for text that came from the network (names, message
// texts, comments) before the command-line tool prints it.
namespace CvMsgLineFormat {

// Line breaks as this system writes them: 0x14 (how the messenger protocol
// carries a line break), CR LF and a lone CR each become "\n".
std::string DisplayText(const std::string& text);

// `text` as a JSON string literal, quotes included: '"', '\\' and control
// characters escaped (\n, \r, \t, \b, \f or \u00XX, also for DEL and the C1
// controls U+0080 to U+009F, which terminals obey as well); other characters
// kept as UTF-8; a byte that is not part of valid UTF-8 becomes U+FFFD, so
// the result is always valid JSON and safe to show on a terminal.
std::string JsonString(const std::string& text);

// {"type":1,"sender":"...","recipient":"...","text":"...","time":"yyyy-MM-dd HH:mm:ss"}
// with the display text; no line break at the end.
std::string Json(const CMsg& msg);

// "<time> personal|broadcast <sender> -> <recipient>: <text>" with the
// display text (its line breaks kept); no line break at the end. Control
// characters a peer sent (escape sequences) are shown as '?', so they cannot
// steer the terminal.
std::string Plain(const CMsg& msg);

// `text` made safe for a terminal: every control character (C0, DEL, and the
// C1 controls U+0080 to U+009F, among them the one-character CSI) becomes
// '?', and every byte that is not part of valid UTF-8 becomes U+FFFD, so no
// escape sequence can reach the terminal. "\n" and "\t" are kept when
// `keepLineBreaks`. Other characters are kept as they are.
std::string Printable(const std::string& text, bool keepLineBreaks);

// Code points a sender or recipient name from the network keeps: as wide as
// the archive's name columns and the contact list's name field.
inline constexpr size_t kMaxReceivedNameCodePoints = 32;

// A sender or recipient name as a peer sent it, made fit to show and file:
// Printable(name, false), so that no CR LF in it can start a line of its own
// (a forged "X wrote to Y:"), cut to kMaxReceivedNameCodePoints code points.
// The messaging clients apply it once, to every message they receive.
std::string ReceivedName(const std::string& name);

// Whether Printable(text, false) would change `text`: a control character or
// a byte that is not valid UTF-8 is in it.
bool HasControlCharacters(const std::string& text);

}  // namespace CvMsgLineFormat
