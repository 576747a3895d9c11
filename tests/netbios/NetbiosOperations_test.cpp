#include "netbios/NetbiosOperations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "netbios/CDatagramRing.h"
#include "platform/CvEvent.h"

namespace {

// Completes every asynchronous command at once with a fixed code and records
// what it saw.
class AnsweringProvider : public CvNetbiosProvider {
public:
    explicit AnsweringProvider(uint8_t answer) : m_answer(answer) {}

    uint8_t Submit(CvNcb& ncb) override {
        std::lock_guard guard(m_lock);
        commands.push_back(ncb.command);
        if (ncb.command == kNcbCancel) {
            return kNrcCancel;  // the target already completed
        }
        names.emplace_back(reinterpret_cast<const char*>(ncb.name), 16);
        callnames.emplace_back(reinterpret_cast<const char*>(ncb.callname), 16);
        if ((ncb.command & kNcbAsync) == 0) {
            return ncb.retcode = m_answer;
        }
        ncb.retcode = m_answer;
        ncb.cmdCplt = m_answer;
        ncb.event->Set();
        return kNrcPending;
    }

    std::mutex m_lock;
    std::vector<uint8_t> commands;
    std::vector<std::string> names;
    std::vector<std::string> callnames;

private:
    uint8_t m_answer;
};

TEST(NBRunOperation, CallWithoutAnswerIsResubmittedUntilTheLimitAndTimesOut) {
    AnsweringProvider provider(kNrcNoCall);
    uint8_t session = 0;
    const auto start = std::chrono::steady_clock::now();
    // A call time-out of 1200 ms rounds down to a 1000 ms limit.
    const uint8_t code = NBCall(provider, 0, "BOB", "ALICE", 0x03, 1200, 7000, session);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(code, kNrcCmdTmo);
    EXPECT_GE(elapsed, std::chrono::milliseconds(900));
    EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
    const auto calls = std::count(provider.commands.begin(), provider.commands.end(),
                                  static_cast<uint8_t>(kNcbCall | kNcbAsync));
    EXPECT_GE(calls, 8) << "resubmitted about every 100 ms";
    EXPECT_LE(calls, 11);
    EXPECT_EQ(provider.commands.back(), kNcbCancel) << "cancelled afterwards";
    EXPECT_EQ(provider.callnames.front(), std::string("BOB", 3) + std::string(12, ' ') + "\x03");
    EXPECT_EQ(provider.names.front(), std::string("ALICE") + std::string(10, ' ') + "\x03");
}

TEST(NBRunOperation, OtherCodesFinishAtOnce) {
    for (uint8_t answer : {kNrcGoodRet, kNrcSClosed, kNrcRemTFul}) {
        AnsweringProvider provider(answer);
        uint8_t buffer[8] = {};
        EXPECT_EQ(NBSend(provider, 0, 1, buffer, sizeof buffer, 7000), answer);
        EXPECT_EQ(std::count(provider.commands.begin(), provider.commands.end(),
                             static_cast<uint8_t>(kNcbSend | kNcbAsync)),
                  1);
    }
}

TEST(NBNameField, LongNamesAreCutAndTheSuffixTakesByteSixteen) {
    AnsweringProvider provider(kNrcGoodRet);
    uint8_t number = 0;
    NBAddName(provider, 0, "ABCDEFGHIJKLMNOPQRS", 0x03, number);
    EXPECT_EQ(provider.names.back(), std::string("ABCDEFGHIJKLMNO") + "\x03");
}

TEST(NBIsFatal, OnlyTheCodesThatNeedANewRegistration) {
    for (uint8_t code :
         {0x09, 0x0E, 0x15, 0x16, 0x17, 0x23, 0x34, 0x35, 0x36, 0x37, 0x38, 0x3F, 0x40}) {
        EXPECT_TRUE(NBIsFatal(code)) << int(code);
    }
    for (uint8_t code : {0x00, 0x05, 0x0A, 0x0B, 0x14, 0x18, 0xFF}) {
        EXPECT_FALSE(NBIsFatal(code)) << int(code);
    }
}

TEST(CDatagramRing, KeepsWholeDatagramsUpTo512AndOverwritesTheOldest) {
    CDatagramRing ring;
    std::vector<uint8_t> big(600, 0xAB);
    ring.Push(big.data(), 512);
    std::vector<uint8_t> out;
    ASSERT_TRUE(ring.Pop(out));
    EXPECT_EQ(out.size(), 512u);
    EXPECT_FALSE(ring.Pop(out));

    for (int i = 0; i < 256; ++i) {
        const uint8_t value = static_cast<uint8_t>(i);
        ring.Push(&value, 1);
    }
    int delivered = 0;
    uint8_t first = 0xFF;
    while (ring.Pop(out)) {
        if (delivered++ == 0) {
            first = out[0];
        }
    }
    EXPECT_EQ(delivered, 255);
    EXPECT_EQ(first, 1) << "the oldest datagram is the one lost";
}

}  // namespace
