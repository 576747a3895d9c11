#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/CvEvent.h"
#include "platform/nbt/CvNbtIoLoop.h"
#include "platform/nbt/CvNbtNameTable.h"
#include "platform/nbt/CvNbtPorts.h"
#include "platform/nbt/CvNbtStack.h"
#include "platform/nbt/NbtConstants.h"
#include "support/TestEnv.h"

TEST(CvNbtPortsTest, ParsesThreePortsOrRefuses) {
    struct Case {
        const char* text;
        std::optional<std::vector<uint16_t>> ports;
    };
    const Case cases[] = {
        {"137,138,139", std::vector<uint16_t>{137, 138, 139}},
        {"10137,10138,10139", std::vector<uint16_t>{10137, 10138, 10139}},
        {"1,65535,2", std::vector<uint16_t>{1, 65535, 2}},
        {"", std::nullopt},
        {"137,138", std::nullopt},
        {"137,138,139,140", std::nullopt},
        {"0,138,139", std::nullopt},
        {"137,65536,139", std::nullopt},
        {"137, 138,139", std::nullopt},
        {"137,138,x", std::nullopt},
        {"137,,139", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto parsed = CvNbtPorts::Parse(c.text);
        ASSERT_EQ(parsed.has_value(), c.ports.has_value()) << c.text;
        if (parsed) {
            EXPECT_EQ(parsed->name, (*c.ports)[0]) << c.text;
            EXPECT_EQ(parsed->datagram, (*c.ports)[1]) << c.text;
            EXPECT_EQ(parsed->session, (*c.ports)[2]) << c.text;
        }
    }
}

TEST(CvNbtPortsTest, EnvironmentOverridesOnlyWhenValid) {
    {
        ScopedEnv env("CORVANE_NBT_PORTS", "20137,20138,20139");
        EXPECT_EQ(CvNbtPorts::FromEnvironment().session, 20139);
    }
    {
        ScopedEnv env("CORVANE_NBT_PORTS", "garbage");
        EXPECT_EQ(CvNbtPorts::FromEnvironment().name, 137);
    }
}

namespace {

NbtName Name(const char* text, uint8_t suffix = 0x03) {
    return NbtName::Make(text, suffix).Value();
}

}  // namespace

TEST(CvNbtNameTableTest, NumbersAreUniqueAndNotReusedAtOnce) {
    CvNbtNameTable table;
    const uint8_t first = table.Add(Name("ONE"), false)->number;
    const uint8_t second = table.Add(Name("TWO"), false)->number;
    EXPECT_NE(first, second);
    table.Remove(first);
    EXPECT_EQ(table.Find(Name("ONE")), nullptr);
    const uint8_t third = table.Add(Name("THREE"), false)->number;
    EXPECT_NE(third, first);
    EXPECT_NE(third, second);
    // Same characters, other suffix: another name.
    EXPECT_EQ(table.Find(Name("TWO", 0x00)), nullptr);
    EXPECT_EQ(table.FindNumber(second)->name, Name("TWO"));
}

TEST(CvNbtNameTableTest, FillsUpAndWrapsNumbers) {
    CvNbtNameTable table;
    for (size_t i = 0; i < CvNbtNameTable::kMaxNames; ++i) {
        ASSERT_NE(table.Add(Name(("N" + std::to_string(i)).c_str()), false), nullptr) << i;
    }
    EXPECT_EQ(table.Add(Name("FULL"), false), nullptr);
    table.Remove(7);
    CvNbtNameEntry* entry = table.Add(Name("AGAIN"), false);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->number, 7);
}

TEST(CvNbtNameTableTest, StatusListsSettledNamesWithFlags) {
    CvNbtNameTable table;
    table.Add(Name("PENDING"), false);
    table.Add(Name("UNIQUE"), false)->state = CvNbtNameEntry::State::Active;
    table.Add(Name("GROUP", 0x00), true)->state = CvNbtNameEntry::State::Active;
    table.Add(Name("CLASH"), false)->state = CvNbtNameEntry::State::Conflict;
    const auto entries = table.StatusEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, Name("UNIQUE"));
    EXPECT_EQ(entries[0].flags, kNameFlagActive);
    EXPECT_EQ(entries[1].flags, kNbFlagGroup | kNameFlagActive);
    EXPECT_EQ(entries[2].flags, kNameFlagActive | kNameFlagConflict);
    EXPECT_TRUE(table.HasActiveNames());
}

TEST(CvNbtIoLoopTest, RunsTimersInOrderAndSkipsCancelled) {
    CvNbtIoLoop loop;
    ASSERT_TRUE(loop.Start());
    std::vector<int> fired;
    CvEvent done;
    loop.Post([&] {
        loop.AddTimer(60, [&] {
            fired.push_back(3);
            done.Set();
        });
        loop.AddTimer(20, [&] { fired.push_back(2); });
        const auto cancelled = loop.AddTimer(10, [&] { fired.push_back(99); });
        loop.AddTimer(0, [&] { fired.push_back(1); });
        loop.CancelTimer(cancelled);
        loop.CancelTimer(cancelled);
    });
    ASSERT_EQ(done.Wait(5000), kWaitObject0);
    loop.Stop();
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 3}));
}

TEST(CvNbtIoLoopTest, PostedTasksRunOnTheLoopThreadUntilStopped) {
    CvNbtIoLoop loop;
    ASSERT_TRUE(loop.Start());
    std::atomic<int> onLoop{0};
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(loop.Post([&] { onLoop += loop.IsLoopThread() ? 1 : 0; }));
    }
    loop.Stop();
    EXPECT_EQ(onLoop.load(), 100);
    EXPECT_FALSE(loop.Post([] {}));
}

namespace {

// A stack that sees no adapters: CORVANE_INTERFACES names none that exist.
class CvNbtStackNoAdapterTest : public ::testing::Test {
protected:
    ScopedEnv m_interfaces{"CORVANE_INTERFACES", "corvane-none0"};
    CvNbtStack m_stack{CvNbtPorts{}};
};

}  // namespace

TEST_F(CvNbtStackNoAdapterTest, EnumeratesNothingAndRefusesUnknownAdapters) {
    uint8_t buffer[256];
    buffer[0] = 0xEE;
    CvNcb enumerate;
    enumerate.command = kNcbEnum;
    enumerate.buffer = buffer;
    enumerate.length = sizeof buffer;
    EXPECT_EQ(m_stack.Submit(enumerate), kNrcGoodRet);
    EXPECT_EQ(buffer[0], 0);

    for (uint8_t command : {kNcbReset, kNcbAddName, kNcbCall, kNcbSendDatagram}) {
        CvNcb ncb;
        ncb.command = command;
        ncb.lana = 3;
        EXPECT_EQ(m_stack.Submit(ncb), kNrcBridge) << int(command);
        EXPECT_EQ(ncb.retcode, kNrcBridge);
    }
}

TEST_F(CvNbtStackNoAdapterTest, AsyncCommandsReturnPendingThenSignal) {
    CvEvent done(true, true);  // Submit must reset it first
    CvNcb ncb;
    ncb.command = kNcbAddName | kNcbAsync;
    ncb.lana = 5;
    ncb.event = &done;
    const uint8_t immediate = m_stack.Submit(ncb);
    EXPECT_EQ(immediate, kNrcPending);
    ASSERT_EQ(done.Wait(5000), kWaitObject0);
    EXPECT_EQ(ncb.retcode, kNrcBridge);
    EXPECT_EQ(ncb.cmdCplt, kNrcBridge);
}

TEST_F(CvNbtStackNoAdapterTest, CancelOfAFinishedCommandSaysSo) {
    CvNcb finished;
    finished.command = kNcbHangUp;
    finished.lana = 1;
    m_stack.Submit(finished);
    CvNcb cancel;
    cancel.command = kNcbCancel;
    cancel.cancelTarget = &finished;
    EXPECT_EQ(m_stack.Submit(cancel), kNrcCanOccr);
    cancel.cancelTarget = nullptr;
    EXPECT_EQ(m_stack.Submit(cancel), kNrcCancel);
}

TEST(CvNbtStackTest, EnumerationFitsTheBuffer) {
    CvNbtStack stack{CvNbtPorts{}};
    CvNcb ncb;
    ncb.command = kNcbEnum;
    EXPECT_EQ(stack.Submit(ncb), kNrcBufLen);
}

namespace {

// The stack on the first real adapter, on ports of its own so that parallel
// runs and a NetBIOS daemon on the host do not interfere.
class CvNbtStackAdapterTest : public ::testing::Test {
protected:
    void SetUp() override {
        const uint16_t base = static_cast<uint16_t>(20000 + (getpid() % 10000) * 3);
        m_stack.emplace(
            CvNbtPorts{base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2)});
        uint8_t adapters[256] = {};
        CvNcb enumerate;
        enumerate.command = kNcbEnum;
        enumerate.buffer = adapters;
        enumerate.length = sizeof adapters;
        ASSERT_EQ(m_stack->Submit(enumerate), kNrcGoodRet);
        if (adapters[0] == 0) {
            GTEST_SKIP() << "no broadcast-capable interface";
        }
        m_lana = adapters[1];
        CvNcb reset;
        reset.command = kNcbReset;
        reset.lana = m_lana;
        ASSERT_EQ(m_stack->Submit(reset), kNrcGoodRet);
    }

    uint8_t Add(const char* name) {
        CvNcb ncb;
        ncb.command = kNcbAddName;
        ncb.lana = m_lana;
        CvSetNetbiosName(ncb.name, name, std::strlen(name), 0x03);
        EXPECT_EQ(m_stack->Submit(ncb), kNrcGoodRet) << name;
        return ncb.num;
    }

    std::optional<CvNbtStack> m_stack;
    uint8_t m_lana = 0;
};

}  // namespace

TEST_F(CvNbtStackAdapterTest, DatagramsArrivingWithoutAPostedReceiveWaitForTheNextOne) {
    const uint8_t sender = Add("CVSENDER");
    const uint8_t receiver = Add("CVRECEIVER");
    for (std::string text : {"first", "second"}) {
        CvNcb send;
        send.command = kNcbSendDatagram;
        send.lana = m_lana;
        send.num = sender;
        CvSetNetbiosName(send.callname, "CVRECEIVER", 10, 0x03);
        send.buffer = reinterpret_cast<uint8_t*>(text.data());
        send.length = static_cast<uint16_t>(text.size());
        ASSERT_EQ(m_stack->Submit(send), kNrcGoodRet) << text;
    }

    // Each receive is posted only after the one before completed, as the
    // datagram port does.
    for (const char* expected : {"first", "second"}) {
        CvEvent done;
        uint8_t buffer[64] = {};
        CvNcb receive;
        receive.command = kNcbRecvDatagram | kNcbAsync;
        receive.lana = m_lana;
        receive.num = receiver;
        receive.buffer = buffer;
        receive.length = sizeof buffer;
        receive.event = &done;
        m_stack->Submit(receive);
        ASSERT_EQ(done.Wait(5000), kWaitObject0) << expected;
        EXPECT_EQ(receive.retcode, kNrcGoodRet);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), receive.length), expected);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(receive.callname), 8), "CVSENDER");
    }
}
