#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "messaging/CMsg.h"
#include "messaging/CvRecipient.h"

// The rules of writing a message: who it goes to, how long it may be, and
// the records handed to the outbox.
namespace CvMsgComposer {

inline constexpr size_t kMaxPersonalLength = 1600;  // code points
inline constexpr size_t kMaxBroadcastLength = 128;
inline constexpr size_t kMaxLargeBroadcastLength = 350;

// 350 with enlarged broadcasts (MessagesLargeBcastEnabled), else 128.
size_t BroadcastLimit(bool largeBroadcasts);

struct Collected {
    std::vector<CvRecipient> recipients;   // users, computers and workgroups, in order
    std::vector<std::string> emptyGroups;  // contact groups that named nobody
};

// The recipients of the field's items in order: names trimmed of spaces,
// empty ones skipped, each contact group replaced by its members as
// `members` lists them (each with its own kind).
Collected Collect(const std::vector<CvRecipient>& items,
                  const std::function<std::vector<CvRecipient>(const std::string& group)>& members);

// Whether the text is longer than a personal recipient (1600) or a
// broadcast recipient (the broadcast limit) allows.
bool ExceedsLimits(const std::vector<CvRecipient>& recipients, const std::string& text,
                   bool largeBroadcasts);

// The text cut to 1600 code points; broadcasts are cut by the clients.
std::string CutToPersonalLimit(const std::string& text);

// The longest text the messaging clients send of `text` to one recipient of
// `type` (MsgPersonal or MsgBroadcast), by their character limits: 1600 code
// points for a personal message and for a broadcast sent in parts
// (`fragment`), else `broadcastLimit`. What is archived as sent.
std::string SentText(const std::string& text, int32_t type, size_t broadcastLimit, bool fragment);

// One record per recipient: its kind as the type, `sender`, the name as
// address and recipient, the text, the current local time.
std::vector<CMsg> BuildMessages(const std::vector<CvRecipient>& recipients,
                                const std::string& sender, const std::string& text);

}  // namespace CvMsgComposer
