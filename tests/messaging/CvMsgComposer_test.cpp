#include "messaging/CvMsgComposer.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/CvLangTexts.h"
#include "messaging/CvPendingSends.h"
#include "messaging/SendResultCode.h"
#include "platform/CvTextCodec.h"

namespace {

std::vector<CvRecipient> Members(const std::string& group) {
    static const std::map<std::string, std::vector<CvRecipient>> groups = {
        {"Team",
         {{kRecipientUser, "BOB"}, {kRecipientUser, " CAROL "}, {kRecipientWorkgroup, "WG"}}},
        {"Empty", {}},
    };
    auto it = groups.find(group);
    return it == groups.end() ? std::vector<CvRecipient>() : it->second;
}

TEST(CvMsgComposer, CollectTrimsSkipsAndExpandsGroups) {
    const auto collected = CvMsgComposer::Collect({{kRecipientUser, "  ALICE "},
                                                   {kRecipientUser, "   "},
                                                   {kRecipientGroup, "Team"},
                                                   {kRecipientGroup, "Empty"},
                                                   {kRecipientGroup, "Nobody"},
                                                   {kRecipientWorkgroup, "OTHERS"}},
                                                  Members);
    EXPECT_EQ(collected.recipients, (std::vector<CvRecipient>{{kRecipientUser, "ALICE"},
                                                              {kRecipientUser, "BOB"},
                                                              {kRecipientUser, "CAROL"},
                                                              {kRecipientWorkgroup, "WG"},
                                                              {kRecipientWorkgroup, "OTHERS"}}));
    EXPECT_EQ(collected.emptyGroups, (std::vector<std::string>{"Empty", "Nobody"}));
}

TEST(CvMsgComposer, LengthLimits) {
    struct Case {
        std::vector<int32_t> kinds;
        size_t length;
        bool largeBroadcasts;
        bool exceeds;
    };
    const Case cases[] = {
        {{kRecipientUser}, 1600, false, false},
        {{kRecipientUser}, 1601, false, true},
        {{kRecipientWorkgroup}, 128, false, false},
        {{kRecipientWorkgroup}, 129, false, true},
        {{kRecipientWorkgroup}, 200, false, true},
        {{kRecipientWorkgroup}, 350, true, false},
        {{kRecipientWorkgroup}, 351, true, true},
        {{kRecipientUser, kRecipientWorkgroup}, 200, true, false},
        {{kRecipientUser, kRecipientWorkgroup}, 200, false, true},
    };
    for (const Case& c : cases) {
        std::vector<CvRecipient> recipients;
        for (int32_t kind : c.kinds) {
            recipients.push_back({kind, "X"});
        }
        // Cyrillic letters: two bytes, one character each.
        std::string text;
        for (size_t i = 0; i < c.length; ++i) {
            text += "\xd0\x96";
        }
        EXPECT_EQ(CvMsgComposer::ExceedsLimits(recipients, text, c.largeBroadcasts), c.exceeds)
            << c.length << " characters, " << c.kinds.size() << " recipients";
    }
    EXPECT_EQ(CvMsgComposer::BroadcastLimit(false), 128u);
    EXPECT_EQ(CvMsgComposer::BroadcastLimit(true), 350u);
}

TEST(CvMsgComposer, CutKeepsWholeCharacters) {
    std::string text;
    for (int i = 0; i < 1601; ++i) {
        text += "\xd0\x96";
    }
    const std::string cut = CvMsgComposer::CutToPersonalLimit(text);
    EXPECT_EQ(CvText::CodePointCount(cut), 1600u);
    EXPECT_EQ(cut, text.substr(0, 3200));
    EXPECT_EQ(CvMsgComposer::CutToPersonalLimit("short"), "short");
}

TEST(CvMsgComposer, OneRecordPerRecipient) {
    const auto messages = CvMsgComposer::BuildMessages(
        {{kRecipientUser, "BOB"}, {kRecipientWorkgroup, "WG"}}, "ALICE", "hello");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].type, MsgPersonal);
    EXPECT_EQ(messages[0].recipient, "BOB");
    EXPECT_EQ(messages[0].address, "BOB");
    EXPECT_EQ(messages[1].type, MsgBroadcast);
    EXPECT_EQ(messages[1].sender, "ALICE");
    EXPECT_EQ(messages[1].text, "hello");
}

CMsg To(const std::string& recipient) {
    CMsg msg;
    msg.type = MsgPersonal;
    msg.recipient = recipient;
    return msg;
}

TEST(CvPendingSends, IdsAreUniqueAcrossWindows) {
    CvPendingSends first;
    CvPendingSends second;
    const auto a = first.Start({To("A"), To("B")});
    const auto b = second.Start({To("C")});
    EXPECT_LT(a[0].id, a[1].id);
    EXPECT_LT(a[1].id, b[0].id);
    EXPECT_GT(a[0].id, 0);
}

TEST(CvPendingSends, CompletesOnceWhenEveryResultIsIn) {
    CvPendingSends sends;
    const auto entries = sends.Start({To("BOB"), To("NOBODY"), To("CAROL")});
    EXPECT_TRUE(sends.IsSending());
    EXPECT_FALSE(sends.Record(entries[0].id, SendResultSuccess, ""));
    EXPECT_FALSE(sends.Record(-5, SendResultSuccess, "")) << "not one of ours";
    EXPECT_FALSE(sends.Record(entries[1].id, SendResultAddrNotFound, ""));
    EXPECT_EQ(sends.Unfinished(), (std::vector<int32_t>{entries[2].id}));
    EXPECT_TRUE(sends.Record(entries[2].id, SendResultTransmission, "peer hung up"));
    EXPECT_FALSE(sends.Record(entries[2].id, SendResultSuccess, "")) << "a second result";
    EXPECT_FALSE(sends.IsSending());

    CvLangTexts texts;
    const auto outcome = sends.Summarize(texts);
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.failureText,
              "NOBODY (Recipient not found)\r\nCAROL (Message transmission error)\r\n"
              "peer hung up\r\n");
}

TEST(CvPendingSends, AllDeliveredIsNoFailure) {
    CvPendingSends sends;
    const auto entries = sends.Start({To("BOB")});
    EXPECT_TRUE(sends.Record(entries[0].id, SendResultSuccess, ""));
    CvLangTexts texts;
    EXPECT_FALSE(sends.Summarize(texts).failed);
    EXPECT_EQ(sends.Summarize(texts).failureText, "");
}

}  // namespace
