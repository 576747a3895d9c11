#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "platform/CvOemCodec.h"

// No limit on the bytes a part takes on the wire.
inline constexpr size_t kNoOemByteLimit = std::numeric_limits<size_t>::max();

// Splits a text into parts of at most `maxChars` code points, and of at most
// `maxOemBytes` bytes once converted by `oem`, for broadcasts that
// do not fit into one message. A part that would end inside the text ends
// instead after the last space (0x20) or 0x13 in it, searched backwards from
// its last character down to its second; without one it is cut hard. Every
// part holds at least one character, even one that alone exceeds
// `maxOemBytes`. No part markers are added. An empty text gives no parts.
std::vector<std::string> CvSplitMessage(const std::string& text, size_t maxChars,
                                        size_t maxOemBytes = kNoOemByteLimit,
                                        const CvOemCodec& oem = CvOemCodec::System());

// The mailslot messages a broadcast text becomes: a text within both limits
// as it is; a longer one cut to the longest start within them, or, with
// `fragment`, cut to 1600 code points and split as above.
std::vector<std::string> CvBroadcastParts(const std::string& text, size_t maxChars, bool fragment,
                                          size_t maxOemBytes,
                                          const CvOemCodec& oem = CvOemCodec::System());
