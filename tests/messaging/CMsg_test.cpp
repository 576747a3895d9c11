#include "messaging/CMsg.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/CvFileTime.h"
#include "messaging/CvError.h"

namespace {

TEST(CMsg, DefaultIsEmptyAndStampedNow) {
    const uint64_t before = CvFileTime::NowLocal();
    CMsg msg;
    const uint64_t after = CvFileTime::NowLocal();
    EXPECT_EQ(msg.type, 0);
    EXPECT_TRUE(msg.address.empty() && msg.sender.empty() && msg.recipient.empty() &&
                msg.text.empty());
    EXPECT_GE(msg.time, before);
    EXPECT_LE(msg.time, after);
}

TEST(CMsg, CopiesShareNoState) {
    CMsg original;
    original.type = MsgPersonal;
    original.text = "hello";
    CMsg copy = original;
    copy.text += " world";
    EXPECT_EQ(original.text, "hello");
    CMsg assigned;
    assigned = original;
    original.sender = "ALICE";
    EXPECT_TRUE(assigned.sender.empty());
    EXPECT_EQ(assigned.text, "hello");
}

// The codes these errors become are the outbox's business, tested there on
// the real client (CvMsgOutbox_test).
TEST(CvNetworkErr, EveryClassIsANetworkErrorWithItsOperation) {
    const auto caughtAsNetworkErr = [](const std::function<void()>& thrower) -> std::string {
        try {
            thrower();
        } catch (const CvNetworkErr& error) {
            return error.Operation();
        }
        return "(not thrown)";
    };
    EXPECT_EQ(caughtAsNetworkErr([] { throw CvUnknownNetworkErr("NBCallAsy3"); }), "NBCallAsy3");
    EXPECT_EQ(caughtAsNetworkErr([] { throw CvAddrNotFoundErr("NBCallAsy3"); }), "NBCallAsy3");
    EXPECT_EQ(caughtAsNetworkErr([] { throw CvDataTransmissionErr("NBSend24"); }), "NBSend24");
    EXPECT_EQ(caughtAsNetworkErr([] { throw CvNoInterfaceAvailErr(); }), "");
    EXPECT_THROW(throw CvDataTransmissionErr("NBRecv10"), CvError);
}

}  // namespace
