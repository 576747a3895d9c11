#pragma once

#include <string>

#include "messaging/CMsg.h"

// One received message as one line of text for a terminal or a program.
namespace CvMsgLineFormat {

// Line breaks as this system writes them: 0x14 (how the messenger protocol
// carries a line break), CR LF and a lone CR each become "\n".
std::string DisplayText(const std::string& text);

// `text` as a JSON string literal, quotes included: '"', '\\' and control
// characters escaped (\n, \r, \t, \b, \f or \u00XX, also for 0x7F); other
// characters kept as UTF-8; a byte that is not part of valid UTF-8 becomes
// U+FFFD, so the result is always valid JSON.
std::string JsonString(const std::string& text);

// {"type":1,"sender":"...","recipient":"...","text":"...","time":"yyyy-MM-dd HH:mm:ss"}
// with the display text; no line break at the end.
std::string Json(const CMsg& msg);

// "<time> personal|broadcast <sender> -> <recipient>: <text>" with the
// display text (its line breaks kept); no line break at the end. Control
// characters a peer sent (escape sequences) are shown as '?', so they cannot
// steer the terminal.
std::string Plain(const CMsg& msg);

// `text` with control characters replaced by '?'; "\n" and "\t" are kept
// when `keepLineBreaks`.
std::string Printable(const std::string& text, bool keepLineBreaks);

}  // namespace CvMsgLineFormat
