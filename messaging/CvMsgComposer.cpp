#include "messaging/CvMsgComposer.h"

#include "app/CvFileTime.h"
#include "platform/CvTextCodec.h"

namespace CvMsgComposer {

namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

size_t BroadcastLimit(bool largeBroadcasts) {
    return largeBroadcasts ? kMaxLargeBroadcastLength : kMaxBroadcastLength;
}

Collected Collect(
    const std::vector<CvRecipient>& items,
    const std::function<std::vector<CvRecipient>(const std::string& group)>& members) {
    Collected collected;
    for (const CvRecipient& item : items) {
        const std::string name = Trim(item.name);
        if (name.empty()) {
            continue;
        }
        if (item.kind != kRecipientGroup) {
            collected.recipients.push_back({item.kind, name});
            continue;
        }
        bool any = false;
        for (const CvRecipient& member : members ? members(name) : std::vector<CvRecipient>()) {
            const std::string memberName = Trim(member.name);
            if (!memberName.empty() && member.kind != kRecipientGroup) {
                collected.recipients.push_back({member.kind, memberName});
                any = true;
            }
        }
        if (!any) {
            collected.emptyGroups.push_back(name);
        }
    }
    return collected;
}

bool ExceedsLimits(const std::vector<CvRecipient>& recipients, const std::string& text,
                   bool largeBroadcasts) {
    bool personal = false;
    bool broadcast = false;
    for (const CvRecipient& recipient : recipients) {
        personal = personal || recipient.kind == kRecipientUser;
        broadcast = broadcast || recipient.kind == kRecipientWorkgroup;
    }
    const size_t length = CvText::CodePointCount(text);
    return (personal && length > kMaxPersonalLength) ||
           (broadcast && length > BroadcastLimit(largeBroadcasts));
}

std::string CutToPersonalLimit(const std::string& text) {
    return CvText::CutToCodePoints(text, kMaxPersonalLength);
}

std::string SentText(const std::string& text, int32_t type, size_t broadcastLimit, bool fragment) {
    const bool whole = type != MsgBroadcast || fragment;
    return CvText::CutToCodePoints(text, whole ? kMaxPersonalLength : broadcastLimit);
}

std::vector<CMsg> BuildMessages(const std::vector<CvRecipient>& recipients,
                                const std::string& sender, const std::string& text) {
    std::vector<CMsg> messages;
    const uint64_t now = CvFileTime::NowLocal();
    for (const CvRecipient& recipient : recipients) {
        CMsg msg;
        msg.type = recipient.kind == kRecipientWorkgroup ? MsgBroadcast : MsgPersonal;
        msg.sender = sender;
        msg.address = recipient.name;
        msg.recipient = recipient.name;
        msg.text = text;
        msg.time = now;
        messages.push_back(std::move(msg));
    }
    return messages;
}

}  // namespace CvMsgComposer
