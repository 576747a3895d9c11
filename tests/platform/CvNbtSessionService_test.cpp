#include <chrono>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/CvEvent.h"
#include "platform/CvNcb.h"
#include "platform/nbt/CvNbtContext.h"
#include "platform/nbt/CvNbtIoLoop.h"
#include "platform/nbt/CvNbtNameService.h"
#include "platform/nbt/CvNbtPending.h"
#include "platform/nbt/CvNbtSessionLimits.h"
#include "platform/nbt/CvNbtSessionService.h"
#include "platform/nbt/NbtConstants.h"
#include "platform/nbt/NbtSessionFrame.h"
#include "support/RawNbtPeer.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;  // 127.0.0.1; peers also use 127.0.0.x
constexpr uint8_t kLana = 0;
constexpr uint8_t kRto = 10;  // 5 s: every receive in these tests ends in time

NbtName Name(const char* text) {
    return NbtName::Make(text, 0x03).Value();
}

NbtBytes Pattern(size_t length, uint8_t seed) {
    NbtBytes bytes(length);
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return bytes;
}

NbtBytes Encoded(const NbtSessionFrame& frame) {
    return frame.Encode().Value();
}

// Copies of frame, back to back, making a block of at least minimum bytes.
NbtBytes Repeated(const NbtBytes& frame, size_t minimum) {
    NbtBytes block;
    do {
        block.insert(block.end(), frame.begin(), frame.end());
    } while (block.size() < minimum);
    return block;
}

// A command the loop finishes later; the fixture owns it, so it outlives the
// loop whatever the test does.
struct Posted {
    CvNcb ncb;
    CvEvent done{true, false};
    NbtBytes buffer;

    bool Wait(int ms = 5000) { return done.Wait(static_cast<uint32_t>(ms)) == kWaitObject0; }
    NbtBytes Received() const { return NbtBytes(buffer.begin(), buffer.begin() + ncb.length); }
};

// The session service alone on 127.0.0.1 with limits of the test's choosing,
// driven as the stack drives it: every command runs on the I/O loop. The
// station holds CVRECEIVER<03> and CVCALLER<03>; with a listener, callers
// reach it on sessionPort.
class LoopbackStation {
public:
    LoopbackStation(const CvNbtSessionLimits& limits, uint16_t sessionPort, bool listen)
        : m_context(m_loop, m_pending, CvNbtPorts{137, 138, sessionPort}),
          m_names(m_context),
          m_sessions(m_context, m_names, limits) {
        m_loop.Start();
        int listenError = -1;
        OnLoop([&] {
            auto adapter = std::make_unique<CvNbtAdapter>();
            adapter->ip.lana = kLana;
            adapter->ip.address = kLoopback;
            adapter->ip.netmask = 0xFF000000;
            adapter->ip.broadcast = 0x7FFFFFFF;
            adapter->reset = true;
            for (const char* name : {"CVRECEIVER", "CVCALLER"}) {
                adapter->names.Add(Name(name), false)->state = CvNbtNameEntry::State::Active;
            }
            CvNbtAdapter& added = *(m_context.adapters[kLana] = std::move(adapter));
            listenError = listen ? m_sessions.OpenListener(added) : 0;
        });
        m_ready = listenError == 0;
    }

    ~LoopbackStation() {
        OnLoop([&] {
            m_sessions.CloseAll(kNrcCmdCan);
            m_pending.CompleteAll(kNrcCmdCan);
        });
        m_loop.Stop();
    }

    bool Ready() const { return m_ready; }

    // Runs task on the loop and waits for it.
    void OnLoop(const std::function<void()>& task) {
        CvEvent done(true, false);
        m_loop.Post([&] {
            task();
            done.Set();
        });
        ASSERT_EQ(done.Wait(5000), kWaitObject0);
    }

    // Holds the loop until the object goes, so that a test can line up what
    // the next poll sees.
    class Pause {
    public:
        explicit Pause(CvNbtIoLoop& loop) : m_events(std::make_shared<Events>()) {
            // The loop may still be waking up when the pause is gone.
            loop.Post([events = m_events] {
                events->held.Set();
                events->release.Wait(5000);
            });
            m_events->held.Wait(5000);
        }
        ~Pause() { m_events->release.Set(); }

    private:
        struct Events {
            CvEvent held{true, false};
            CvEvent release{true, false};
        };
        std::shared_ptr<Events> m_events;
    };
    std::unique_ptr<Pause> PauseLoop() { return std::make_unique<Pause>(m_loop); }

    Posted& Listen() {
        Posted& posted = NewCommand(kNcbListen);
        CvSetNetbiosName(posted.ncb.name, "CVRECEIVER", 10, 0x03);
        CvSetNetbiosName(posted.ncb.callname, "*", 1, ' ');
        return Submit(posted);
    }
    Posted& Call() {
        Posted& posted = NewCommand(kNcbCall);
        CvSetNetbiosName(posted.ncb.name, "CVCALLER", 8, 0x03);
        CvSetNetbiosName(posted.ncb.callname, "CVRECEIVER", 10, 0x03);
        return Submit(posted);
    }
    Posted& Receive(uint8_t lsn, uint16_t capacity = 65535) {
        Posted& posted = NewCommand(kNcbRecv);
        posted.ncb.lsn = lsn;
        posted.buffer.resize(capacity);
        posted.ncb.buffer = posted.buffer.data();
        posted.ncb.length = capacity;
        return Submit(posted);
    }
    Posted& Send(uint8_t lsn, const NbtBytes& payload) {
        Posted& posted = NewCommand(kNcbSend);
        posted.ncb.lsn = lsn;
        posted.buffer = payload;
        posted.ncb.buffer = posted.buffer.data();
        posted.ncb.length = static_cast<uint16_t>(payload.size());
        return Submit(posted);
    }

    size_t HeldBytes() {
        size_t held = 0;
        OnLoop([&] { held = m_sessions.HeldBytes(); });
        return held;
    }
    size_t Handshakes() {
        size_t open = 0;
        OnLoop([&] { open = m_sessions.Handshakes(); });
        return open;
    }

    // CPU time the loop thread has used so far.
    std::chrono::nanoseconds LoopCpuTime() {
        if (!m_loopClock) {
            OnLoop([&] {
                clockid_t clock{};
                if (pthread_getcpuclockid(pthread_self(), &clock) == 0) {
                    m_loopClock = clock;
                }
            });
        }
        timespec used{};
        if (!m_loopClock || clock_gettime(*m_loopClock, &used) != 0) {
            return std::chrono::nanoseconds::max();
        }
        return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
    }

private:
    Posted& NewCommand(uint8_t command) {
        auto& posted = *m_commands.emplace_back(std::make_unique<Posted>());
        posted.ncb.command = command | kNcbAsync;
        posted.ncb.lana = kLana;
        posted.ncb.rto = kRto;
        posted.ncb.event = &posted.done;
        return posted;
    }

    Posted& Submit(Posted& posted) {
        m_loop.Post([this, &posted] {
            CvNcb& ncb = posted.ncb;
            m_pending.Begin(ncb, nullptr);
            CvNbtAdapter& adapter = *m_context.adapters.at(kLana);
            switch (ncb.command & static_cast<uint8_t>(~kNcbAsync)) {
                case kNcbListen:
                    m_sessions.Listen(adapter, ncb);
                    break;
                case kNcbCall:
                    m_sessions.Call(adapter, ncb);
                    break;
                case kNcbRecv:
                    m_sessions.Receive(adapter, ncb);
                    break;
                case kNcbSend:
                    m_sessions.Send(adapter, ncb);
                    break;
                default:
                    m_pending.Complete(ncb, kNrcIllCmd);
                    break;
            }
        });
        return posted;
    }

    CvNbtIoLoop m_loop;
    CvNbtPending m_pending;
    CvNbtContext m_context;
    CvNbtNameService m_names;
    CvNbtSessionService m_sessions;
    std::deque<std::unique_ptr<Posted>> m_commands;
    std::optional<clockid_t> m_loopClock;
    bool m_ready = false;
};

// A test station that listens, and the callers it accepts.
class CvNbtSessionServiceTest : public ::testing::Test {
protected:
    void Start(const CvNbtSessionLimits& limits) {
        m_port = RawNbtPeer::FreePort(kLoopback);
        m_station.emplace(limits, m_port, true);
        ASSERT_TRUE(m_station->Ready());
    }

    // A caller from sourceIp with an established session; its local
    // session number at the station goes to lsn.
    RawNbtPeer Established(uint8_t& lsn, uint32_t sourceIp = kLoopback) {
        Posted& listen = m_station->Listen();
        RawNbtPeer peer;
        EXPECT_TRUE(peer.Connect(kLoopback, m_port, sourceIp));
        EXPECT_TRUE(peer.SendRequest(Name("CVRECEIVER"), Name("PEER")));
        const auto response = peer.ReadFrame();
        EXPECT_TRUE(response && response->type == kSsnPositiveResponse);
        EXPECT_TRUE(listen.Wait());
        EXPECT_EQ(listen.ncb.retcode, kNrcGoodRet);
        lsn = listen.ncb.lsn;
        return peer;
    }

    // Waits for the next message on lsn; its code goes to code.
    NbtBytes Receive(uint8_t lsn, uint8_t& code, uint16_t capacity = 65535) {
        Posted& receive = m_station->Receive(lsn, capacity);
        EXPECT_TRUE(receive.Wait(8000));
        code = receive.ncb.retcode;
        return receive.Received();
    }

    uint16_t m_port = 0;
    std::optional<LoopbackStation> m_station;
};

// The peer's send buffer is kept small so that what a flood gets out is
// what the station takes plus its kernel receive buffer.
constexpr int kPeerSendBuffer = 32 * 1024;
constexpr size_t kFloodBytes = 8 * 1024 * 1024;
// Far above a bound plus the kernel buffers of one loopback connection, far
// below what a station that reads everything takes.
constexpr size_t kPushedBackBelow = 4 * 1024 * 1024;
constexpr int kQuietMs = 300;

}  // namespace

TEST_F(CvNbtSessionServiceTest, SessionNobodyReceivesOnIsReadOnlyUpToItsBound) {
    CvNbtSessionLimits limits;
    limits.sessionBytes = 16 * 1024;
    limits.sessionMessages = 8;
    limits.stallMs = 60000;
    struct Case {
        const char* what;
        size_t payload;
    };
    // Empty frames hold no payload at all: only the message count bounds them.
    const Case cases[] = {
        {"empty frames", 0},
        {"small frames", 100},
        {"4 KiB frames", 4096},
        {"frames larger than the bound", 40000},
    };
    for (const auto& c : cases) {
        Start(limits);
        uint8_t lsn = 0;
        RawNbtPeer peer = Established(lsn);
        peer.SetSendBuffer(kPeerSendBuffer);
        const NbtBytes frame = Encoded(NbtSessionFrame::SessionMessage(Pattern(c.payload, 1)));
        const size_t pushed = peer.Flood(Repeated(frame, 4096), kFloodBytes, kQuietMs);
        EXPECT_LT(pushed, kPushedBackBelow) << c.what << ": TCP should push the sender back";
        EXPECT_LE(m_station->HeldBytes(), limits.sessionBytes) << c.what;

        // What was held back is still there, whole.
        for (int i = 0; i < 3; ++i) {
            uint8_t code = 0xEE;
            const NbtBytes got = Receive(lsn, code);
            EXPECT_EQ(code, kNrcGoodRet) << c.what;
            EXPECT_EQ(got, Pattern(c.payload, 1)) << c.what;
        }
    }
}

TEST_F(CvNbtSessionServiceTest, HeldBackMessagesAllArriveInOrderOnceReceived) {
    CvNbtSessionLimits limits;
    limits.sessionBytes = 16 * 1024;
    limits.sessionMessages = 8;
    Start(limits);
    uint8_t lsn = 0;
    RawNbtPeer peer = Established(lsn);
    peer.SetSendBuffer(kPeerSendBuffer);
    // 64 numbered frames, repeated: a lost, doubled or swapped frame shows.
    constexpr size_t kPayload = 3000;
    constexpr int kNumbers = 64;
    NbtBytes block;
    for (int number = 0; number < kNumbers; ++number) {
        const NbtBytes frame = Encoded(
            NbtSessionFrame::SessionMessage(Pattern(kPayload, static_cast<uint8_t>(number))));
        block.insert(block.end(), frame.begin(), frame.end());
    }
    const size_t frameSize = kSsnHeaderLength + kPayload;
    const size_t pushed = peer.Flood(block, kFloodBytes, kQuietMs);
    ASSERT_GT(pushed, 4 * limits.sessionBytes);
    ASSERT_LT(pushed, kPushedBackBelow);

    const size_t whole = pushed / frameSize;
    for (size_t i = 0; i < whole; ++i) {
        uint8_t code = 0xEE;
        const NbtBytes got = Receive(lsn, code);
        ASSERT_EQ(code, kNrcGoodRet) << "frame " << i;
        ASSERT_EQ(got, Pattern(kPayload, static_cast<uint8_t>(i % kNumbers))) << "frame " << i;
    }
    if (pushed % frameSize != 0) {
        ASSERT_TRUE(peer.FinishFlood());
        uint8_t code = 0xEE;
        EXPECT_EQ(Receive(lsn, code), Pattern(kPayload, static_cast<uint8_t>(whole % kNumbers)));
        EXPECT_EQ(code, kNrcGoodRet);
    }
    EXPECT_EQ(m_station->HeldBytes(), 0u);
}

TEST_F(CvNbtSessionServiceTest, FloodsFillingTheTotalLeaveOtherSessionsTheirMessages) {
    CvNbtSessionLimits limits;
    limits.sessionBytes = 64 * 1024;
    limits.totalBytes = 128 * 1024;
    limits.reserveBytes = 4 * 1024;
    limits.stallMs = 60000;
    Start(limits);
    uint8_t quietLsn = 0;
    RawNbtPeer quiet = Established(quietLsn, kLoopback + 1);
    std::vector<RawNbtPeer> floods;
    for (uint32_t source = 2; source <= 4; ++source) {
        uint8_t lsn = 0;
        floods.push_back(Established(lsn, kLoopback + source));
    }
    const NbtBytes frame = Encoded(NbtSessionFrame::SessionMessage(Pattern(8000, 3)));
    for (auto& flood : floods) {
        flood.SetSendBuffer(kPeerSendBuffer);
        EXPECT_LT(flood.Flood(Repeated(frame, 4096), kFloodBytes, kQuietMs), kPushedBackBelow);
    }
    EXPECT_LE(m_station->HeldBytes(), limits.totalBytes + 4 * limits.reserveBytes);

    // A messenger PDU fits in the reserve every session keeps.
    const NbtBytes pdu = Pattern(1000, 9);
    ASSERT_TRUE(quiet.SendFrame(NbtSessionFrame::SessionMessage(pdu)));
    uint8_t code = 0xEE;
    EXPECT_EQ(Receive(quietLsn, code), pdu);
    EXPECT_EQ(code, kNrcGoodRet);

    // A frame larger than every bound still reaches a posted receive, in
    // the pieces an NCB buffer can take.
    const NbtBytes large = Pattern(100000, 5);
    Posted& first = m_station->Receive(quietLsn);
    ASSERT_TRUE(quiet.SendFrame(NbtSessionFrame::SessionMessage(large)));
    ASSERT_TRUE(first.Wait(8000));
    EXPECT_EQ(first.ncb.retcode, kNrcIncomp);
    NbtBytes whole = first.Received();
    const NbtBytes rest = Receive(quietLsn, code);
    EXPECT_EQ(code, kNrcGoodRet);
    whole.insert(whole.end(), rest.begin(), rest.end());
    EXPECT_EQ(whole, large);
}

TEST_F(CvNbtSessionServiceTest, SessionStuckAtItsBoundIsHungUpButSlowReadersAreNot) {
    CvNbtSessionLimits limits;
    limits.sessionBytes = 16 * 1024;
    limits.stallMs = 400;
    Start(limits);
    uint8_t stuckLsn = 0;
    uint8_t slowLsn = 0;
    uint8_t piecesLsn = 0;
    RawNbtPeer stuck = Established(stuckLsn, kLoopback + 1);
    RawNbtPeer slow = Established(slowLsn, kLoopback + 2);
    RawNbtPeer pieces = Established(piecesLsn, kLoopback + 3);
    const NbtBytes frame = Encoded(NbtSessionFrame::SessionMessage(Pattern(2000, 4)));
    const NbtBytes block = Repeated(frame, 4096);
    stuck.SetSendBuffer(kPeerSendBuffer);
    slow.SetSendBuffer(kPeerSendBuffer);
    stuck.Flood(block, kFloodBytes, 100);
    slow.Flood(block, kFloodBytes, 100);
    // One message far over the bound, taken 2 KiB at a time.
    const NbtBytes large = Pattern(60000, 6);
    ASSERT_TRUE(pieces.SendFrame(NbtSessionFrame::SessionMessage(large)));

    // Both readers take something every 40 ms, for longer than stallMs.
    NbtBytes taken;
    for (int round = 0; round < 30; ++round) {
        uint8_t code = 0xEE;
        EXPECT_EQ(Receive(slowLsn, code), Pattern(2000, 4));
        ASSERT_EQ(code, kNrcGoodRet) << "round " << round;
        const NbtBytes piece = Receive(piecesLsn, code, 2048);
        taken.insert(taken.end(), piece.begin(), piece.end());
        ASSERT_EQ(code, taken.size() < large.size() ? kNrcIncomp : kNrcGoodRet)
            << "round " << round;
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    EXPECT_EQ(taken, large);

    EXPECT_TRUE(stuck.WaitClosed(3000)) << "the stuck session should be hung up";
    uint8_t code = 0xEE;
    Receive(stuckLsn, code);
    EXPECT_EQ(code, kNrcSAbort);
    Posted& send = m_station->Send(stuckLsn, Pattern(10, 1));
    ASSERT_TRUE(send.Wait());
    EXPECT_EQ(send.ncb.retcode, kNrcSAbort);

    EXPECT_EQ(Receive(slowLsn, code), Pattern(2000, 4));
    EXPECT_EQ(code, kNrcGoodRet);
    EXPECT_LE(m_station->HeldBytes(), limits.sessionBytes) << "the stuck session's data is gone";
}

TEST_F(CvNbtSessionServiceTest, CallersBeyondTheHandshakeCapsAreRefused) {
    CvNbtSessionLimits limits;
    limits.handshakes = 4;
    limits.handshakesPerAddress = 2;
    limits.handshakeGraceMs = 60000;  // nobody is old enough to give way here
    Start(limits);
    auto idleFrom = [&](uint32_t source, size_t count) {
        std::vector<RawNbtPeer> peers(count);
        for (auto& peer : peers) {
            EXPECT_TRUE(peer.Connect(kLoopback, m_port, source));
        }
        return peers;
    };
    auto refused = [](RawNbtPeer& peer) {
        const auto response = peer.ReadFrame(2000);
        return response && response->type == kSsnNegativeResponse &&
               response->trailer == NbtBytes{kSsnErrInsufficientResources} && peer.WaitClosed(2000);
    };
    auto idle = [](RawNbtPeer& peer) { return !peer.ReadFrame(100) && !peer.WaitClosed(0); };

    std::vector<RawNbtPeer> first = idleFrom(kLoopback + 1, 5);
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(i < 2 ? idle(first[i]) : refused(first[i]), true) << "caller " << i;
    }
    std::vector<RawNbtPeer> second = idleFrom(kLoopback + 2, 2);
    for (auto& peer : second) {
        EXPECT_TRUE(idle(peer));
    }
    // Four handshakes are open: a caller from a third address is refused too.
    std::vector<RawNbtPeer> third = idleFrom(kLoopback + 3, 1);
    EXPECT_TRUE(refused(third[0]));
}

// Ages are counted from when the station took the idle callers in, which the
// test sees, so neither a slow accept nor a slow test can shift them.
TEST_F(CvNbtSessionServiceTest, IdleHandshakesMakeWayForARealCallerFromTheSameAddress) {
    using Clock = std::chrono::steady_clock;
    CvNbtSessionLimits limits;
    limits.handshakes = 8;
    limits.handshakesPerAddress = 4;
    limits.handshakeGraceMs = 1500;
    Start(limits);
    const auto connecting = Clock::now();  // the four are at most this old
    std::vector<RawNbtPeer> idle(4);
    for (auto& peer : idle) {
        ASSERT_TRUE(peer.Connect(kLoopback, m_port, kLoopback + 1));
    }
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (m_station->Handshakes() < 4 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(m_station->Handshakes(), 4u);
    const auto accepted = Clock::now();  // the four are at least this old

    // Younger than the grace time, they keep their places.
    RawNbtPeer early;
    ASSERT_TRUE(early.Connect(kLoopback, m_port, kLoopback + 1));
    const auto refusal = early.ReadFrame(2000);
    ASSERT_TRUE(refusal) << "a caller over the cap got in while the others were young";
    ASSERT_LT(Clock::now() - connecting, std::chrono::milliseconds(limits.handshakeGraceMs))
        << "the machine was too slow to tell a young handshake from an old one";
    EXPECT_EQ(refusal->type, kSsnNegativeResponse);
    EXPECT_FALSE(idle[0].WaitClosed(0));

    std::this_thread::sleep_until(accepted + std::chrono::milliseconds(limits.handshakeGraceMs));
    uint8_t lsn = 0;
    RawNbtPeer caller = Established(lsn, kLoopback + 1);
    EXPECT_NE(lsn, 0);
    EXPECT_TRUE(idle[0].WaitClosed(2000)) << "the oldest idle handshake gives way";
    EXPECT_FALSE(idle[1].WaitClosed(0));
}

TEST_F(CvNbtSessionServiceTest, ListenerRestsWhileDescriptorsRunOutAndServesAfterwards) {
    CvNbtSessionLimits limits;
    limits.acceptBackoffMs = 100;
    Start(limits);
    Posted& listen = m_station->Listen();
    RawNbtPeer caller;  // takes the last descriptor the process may open
    ASSERT_GE(caller.Fd(), 0);
    ASSERT_NE(m_station->LoopCpuTime(), std::chrono::nanoseconds::max());
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    std::chrono::nanoseconds cpu{};
    bool connected = false;
    {
        // Restores the limit on every way out of this block. Nothing in it
        // may fail a check: reporting one needs descriptors.
        struct Restore {
            const rlimit& limit;
            ~Restore() { setrlimit(RLIMIT_NOFILE, &limit); }
        } restore{saved};
        rlimit scarce = saved;
        scarce.rlim_cur = static_cast<rlim_t>(caller.Fd()) + 1;
        if (setrlimit(RLIMIT_NOFILE, &scarce) == 0) {
            // The connection waits in the backlog: accept fails with EMFILE.
            connected = caller.Connect(kLoopback, m_port);
            const auto cpuBefore = m_station->LoopCpuTime();
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
            cpu = m_station->LoopCpuTime() - cpuBefore;
        }
    }
    ASSERT_TRUE(connected);
    EXPECT_LT(cpu, std::chrono::milliseconds(150)) << "the I/O thread spins on the listener";
    // Descriptors are back: the waiting caller gets its session.
    ASSERT_TRUE(caller.SendRequest(Name("CVRECEIVER"), Name("PEER")));
    const auto response = caller.ReadFrame(3000);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->type, kSsnPositiveResponse);
    ASSERT_TRUE(listen.Wait());
    EXPECT_EQ(listen.ncb.retcode, kNrcGoodRet);
}

TEST(CvNbtSessionServiceCallTest, RetargetedCallSurvivesTheOldServerHangingUp) {
    struct Case {
        const char* what;
        bool abortive;
    };
    // RFC 1002 servers close right after a RETARGET; some reset instead.
    const Case cases[] = {{"closes", false}, {"resets", true}};
    for (const auto& c : cases) {
        RawNbtPeer::Listener oldServer(kLoopback);
        RawNbtPeer::Listener newServer(kLoopback);
        ASSERT_TRUE(oldServer.Valid() && newServer.Valid());
        // Calls go to the session port, where the old server listens.
        LoopbackStation station(CvNbtSessionLimits{}, oldServer.Port(), false);
        ASSERT_TRUE(station.Ready());
        Posted& call = station.Call();

        auto old = oldServer.Accept();
        ASSERT_TRUE(old) << c.what;
        const auto request = old->ReadFrame();
        ASSERT_TRUE(request && request->type == kSsnRequest) << c.what;
        {
            // The retarget and the end of the old stream arrive together.
            const auto pause = station.PauseLoop();
            ASSERT_TRUE(
                old->SendFrame(NbtSessionFrame::RetargetResponse(kLoopback, newServer.Port())));
            old->Close(c.abortive);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }

        auto fresh = newServer.Accept();
        ASSERT_TRUE(fresh) << c.what;
        const auto again = fresh->ReadFrame();
        ASSERT_TRUE(again && again->type == kSsnRequest)
            << c.what << ": the call ended with " << int(call.ncb.retcode);
        ASSERT_TRUE(fresh->SendFrame(NbtSessionFrame::PositiveResponse()));
        ASSERT_TRUE(call.Wait()) << c.what;
        ASSERT_EQ(call.ncb.retcode, kNrcGoodRet) << c.what;

        Posted& send = station.Send(call.ncb.lsn, Pattern(20, 2));
        ASSERT_TRUE(send.Wait());
        EXPECT_EQ(send.ncb.retcode, kNrcGoodRet) << c.what;
        const auto message = fresh->ReadFrame();
        ASSERT_TRUE(message) << c.what;
        EXPECT_EQ(message->trailer, Pattern(20, 2)) << c.what;
    }
}
