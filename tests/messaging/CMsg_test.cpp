#include "messaging/CMsg.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/CvFileTime.h"
#include "messaging/CvError.h"
#include "messaging/SendResultCode.h"

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

// The outbox's catch order: most specific first; each class maps to one code.
int Classify(const std::function<void()>& thrower) {
    try {
        thrower();
        return SendResultSuccess;
    } catch (const CvAddrNotFoundErr&) {
        return SendResultAddrNotFound;
    } catch (const CvDataTransmissionErr&) {
        return SendResultTransmission;
    } catch (const CvNoInterfaceAvailErr&) {
        return SendResultNoInterface;
    } catch (const CvNetworkErr&) {
        return SendResultUnknownError;
    }
}

TEST(CvNetworkErr, EveryClassIsANetworkErrorWithItsOperation) {
    EXPECT_EQ(Classify([] {}), 1);
    EXPECT_EQ(Classify([] { throw CvNetworkErr("x"); }), 2);
    EXPECT_EQ(Classify([] { throw CvUnknownNetworkErr("NBCallAsy3"); }), 2);
    EXPECT_EQ(Classify([] { throw CvAddrNotFoundErr("NBCallAsy3"); }), 3);
    EXPECT_EQ(Classify([] { throw CvDataTransmissionErr("NBSend24"); }), 4);
    EXPECT_EQ(Classify([] { throw CvNoInterfaceAvailErr(); }), 5);
    try {
        throw CvDataTransmissionErr("NBRecv10");
    } catch (const CvError&) {
        SUCCEED();
    }
    EXPECT_EQ(CvDataTransmissionErr("NBRecv10").Operation(), "NBRecv10");
}

}  // namespace
