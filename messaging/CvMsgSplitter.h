#pragma once

#include <string>
#include <vector>

// Splits a text into parts of at most `maxChars` code points for broadcasts
// that do not fit into one message. A part that would end inside the text
// ends instead after the last space (0x20) or 0x13 in it, searched backwards
// from its last character down to its second; without one it is cut hard.
// No part markers are added. An empty text gives no parts.
std::vector<std::string> CvSplitMessage(const std::string& text, size_t maxChars);

// The mailslot messages a broadcast text becomes: a text of at most
// `maxChars` code points as it is; a longer one cut to `maxChars`, or, with
// `fragment`, cut to 1600 and split into parts of at most `maxChars`.
std::vector<std::string> CvBroadcastParts(const std::string& text, size_t maxChars, bool fragment);
