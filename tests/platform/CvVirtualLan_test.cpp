#include "platform/CvVirtualLan.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/CvAdapterStatus.h"
#include "platform/CvEvent.h"
#include "platform/CvVirtualStation.h"
#include "support/TestEnv.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kUnit = 20ms;
constexpr int kSegment = 1;

std::string Field(const char* name, uint8_t suffix) {
    uint8_t field[16];
    CvSetNetbiosName(field, name, std::strlen(name), suffix);
    return std::string(field, field + 16);
}

void SetField(uint8_t (&field)[16], const std::string& value) {
    std::memcpy(field, value.data(), 16);
}

std::string Text(const uint8_t (&field)[16]) {
    return std::string(field, field + 16);
}

const std::string kAnyone = "*" + std::string(15, ' ');

// An NCB that owns its buffer and event, so asynchronous commands can be
// posted and inspected later.
struct Request {
    CvNcb ncb;
    CvEvent event;
    std::vector<uint8_t> data;

    explicit Request(uint8_t command, uint8_t lana = 0, size_t bufferSize = 0) : data(bufferSize) {
        ncb.command = command;
        ncb.lana = lana;
        ncb.event = &event;
        ncb.buffer = data.empty() ? nullptr : data.data();
        ncb.length = static_cast<uint16_t>(data.size());
    }
    // A request still pending is cancelled, so the station never completes
    // a dead NCB.
    ~Request() {
        if (provider != nullptr && ncb.cmdCplt.load() == kNrcPending) {
            CvNcb cancel;
            cancel.command = kNcbCancel;
            cancel.lana = ncb.lana;
            cancel.cancelTarget = &ncb;
            provider->Submit(cancel);
        }
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    uint8_t Post(CvNetbiosProvider& station) {
        provider = &station;
        return station.Submit(ncb);
    }
    std::string Received() const { return std::string(data.begin(), data.begin() + ncb.length); }
    bool Finished() { return event.Wait(2000) == kWaitObject0; }

    CvNetbiosProvider* provider = nullptr;
};

// One station with one adapter on the test segment and helpers that issue
// single commands on it.
class Station {
public:
    explicit Station(CvVirtualLan& lan, int segment = kSegment) : m_station(lan) {
        m_station.AttachAdapter(0, segment);
    }

    CvVirtualStation& Provider() { return m_station; }

    uint8_t Add(const std::string& name, bool group = false, uint8_t* number = nullptr) {
        CvNcb ncb;
        ncb.command = group ? kNcbAddGroupName : kNcbAddName;
        SetField(ncb.name, name);
        const uint8_t code = m_station.Submit(ncb);
        if (number != nullptr) {
            *number = ncb.num;
        }
        return code;
    }

    uint8_t Delete(const std::string& name) {
        CvNcb ncb;
        ncb.command = kNcbDeleteName;
        SetField(ncb.name, name);
        return m_station.Submit(ncb);
    }

    // Posts an asynchronous listen; the request must outlive it.
    void Listen(Request& request, const std::string& name, const std::string& caller = kAnyone,
                uint8_t rto = 0) {
        request.ncb.command = kNcbListen | kNcbAsync;
        SetField(request.ncb.name, name);
        SetField(request.ncb.callname, caller);
        request.ncb.rto = rto;
        ASSERT_EQ(request.Post(m_station), kNrcPending);
    }

    uint8_t Call(const std::string& from, const std::string& to, uint8_t* lsn = nullptr,
                 uint8_t rto = 0) {
        CvNcb ncb;
        ncb.command = kNcbCall;
        SetField(ncb.name, from);
        SetField(ncb.callname, to);
        ncb.rto = rto;
        const uint8_t code = m_station.Submit(ncb);
        if (lsn != nullptr) {
            *lsn = ncb.lsn;
        }
        return code;
    }

    uint8_t Send(uint8_t lsn, std::string data) {
        CvNcb ncb;
        ncb.command = kNcbSend;
        ncb.lsn = lsn;
        ncb.buffer = reinterpret_cast<uint8_t*>(data.data());
        ncb.length = static_cast<uint16_t>(data.size());
        return m_station.Submit(ncb);
    }

    uint8_t Receive(uint8_t lsn, std::string& out, size_t room = 1024) {
        std::vector<uint8_t> buffer(room);
        CvNcb ncb;
        ncb.command = kNcbRecv;
        ncb.lsn = lsn;
        ncb.buffer = buffer.data();
        ncb.length = static_cast<uint16_t>(room);
        const uint8_t code = m_station.Submit(ncb);
        out.assign(buffer.begin(), buffer.begin() + ncb.length);
        return code;
    }

    void PostReceive(Request& request, uint8_t lsn) {
        request.ncb.command = kNcbRecv | kNcbAsync;
        request.ncb.lsn = lsn;
        ASSERT_EQ(request.Post(m_station), kNrcPending);
    }

    uint8_t HangUp(uint8_t lsn) {
        CvNcb ncb;
        ncb.command = kNcbHangUp;
        ncb.lsn = lsn;
        return m_station.Submit(ncb);
    }

    uint8_t SendDatagram(uint8_t number, const std::string& to, std::string data) {
        CvNcb ncb;
        ncb.command = kNcbSendDatagram;
        ncb.num = number;
        SetField(ncb.callname, to);
        ncb.buffer = reinterpret_cast<uint8_t*>(data.data());
        ncb.length = static_cast<uint16_t>(data.size());
        return m_station.Submit(ncb);
    }

    void PostDatagramReceive(Request& request, uint8_t number) {
        request.ncb.command = kNcbRecvDatagram | kNcbAsync;
        request.ncb.num = number;
        ASSERT_EQ(request.Post(m_station), kNrcPending);
    }

    uint8_t Status(const std::string& name, std::vector<uint8_t>& answer, size_t room = 1024) {
        answer.assign(room, 0);
        CvNcb ncb;
        ncb.command = kNcbAdapterStatus;
        SetField(ncb.callname, name);
        ncb.buffer = answer.data();
        ncb.length = static_cast<uint16_t>(room);
        const uint8_t code = m_station.Submit(ncb);
        answer.resize(ncb.length);
        return code;
    }

    uint8_t Cancel(CvNcb& target) {
        CvNcb ncb;
        ncb.command = kNcbCancel;
        ncb.cancelTarget = &target;
        return m_station.Submit(ncb);
    }

private:
    CvVirtualStation m_station;
};

class VirtualLanTest : public ::testing::Test {
protected:
    CvVirtualLan m_lan{kUnit};
    Station m_alice{m_lan};
    Station m_bob{m_lan};
    Station m_carol{m_lan};
    const std::string m_aliceName = Field("ALICE", 0x03);
    const std::string m_bobName = Field("BOB", 0x03);
    const std::string m_carolName = Field("CAROL", 0x03);
    const std::string m_group = Field("WORKGROUP", 0x00);

    void SetUp() override {
        ASSERT_EQ(m_alice.Add(m_aliceName), kNrcGoodRet);
        ASSERT_EQ(m_bob.Add(m_bobName), kNrcGoodRet);
        ASSERT_EQ(m_carol.Add(m_carolName), kNrcGoodRet);
    }

    // Alice calls Bob, who listens; returns {alice lsn, bob lsn}.
    std::pair<uint8_t, uint8_t> Connect(uint8_t aliceRto = 0, uint8_t bobRto = 0) {
        Request listen(0);
        m_bob.Listen(listen, m_bobName, kAnyone, bobRto);
        uint8_t aliceLsn = 0;
        EXPECT_EQ(m_alice.Call(m_aliceName, m_bobName, &aliceLsn, aliceRto), kNrcGoodRet);
        EXPECT_TRUE(listen.Finished());
        EXPECT_EQ(listen.ncb.retcode, kNrcGoodRet);
        return {aliceLsn, listen.ncb.lsn};
    }
};

TEST_F(VirtualLanTest, NameRegistrationFollowsUniqueAndGroupRules) {
    uint8_t number = 0;
    EXPECT_EQ(m_alice.Add(m_aliceName), kNrcDupName);
    EXPECT_EQ(m_bob.Add(m_aliceName), kNrcInUse);
    EXPECT_EQ(m_bob.Add(m_aliceName, true), kNrcInUse);

    EXPECT_EQ(m_alice.Add(m_group, true, &number), kNrcGoodRet);
    EXPECT_GE(number, 1);
    EXPECT_LE(number, 254);
    EXPECT_EQ(m_bob.Add(m_group, true), kNrcGoodRet);
    EXPECT_EQ(m_alice.Add(m_group, true), kNrcDupName);
    const std::string other = Field("OTHERGRP", 0x00);
    EXPECT_EQ(m_carol.Add(m_group), kNrcInUse);  // unique where a group exists
    EXPECT_EQ(m_carol.Add(other), kNrcGoodRet);
    EXPECT_EQ(m_alice.Add(other, true), kNrcInUse);  // group where a unique exists

    // The same name is free on another segment, and again once deleted.
    Station stranger(m_lan, kSegment + 1);
    EXPECT_EQ(stranger.Add(m_aliceName), kNrcGoodRet);
    EXPECT_EQ(m_alice.Delete(m_aliceName), kNrcGoodRet);
    EXPECT_EQ(m_alice.Delete(m_aliceName), kNrcNoWild);
    EXPECT_EQ(m_bob.Add(m_aliceName), kNrcGoodRet);

    EXPECT_EQ(m_alice.Add(kAnyone), kNrcNoWild);
}

TEST_F(VirtualLanTest, NameNumbersAreDistinctAndTableIsLimitedByReset) {
    CvNcb reset;
    reset.command = kNcbReset;
    reset.callname[2] = 2;
    ASSERT_EQ(m_alice.Provider().Submit(reset), kNrcGoodRet);
    uint8_t first = 0;
    uint8_t second = 0;
    EXPECT_EQ(m_alice.Add(Field("N1", 0), false, &first), kNrcGoodRet);
    EXPECT_EQ(m_alice.Add(Field("N2", 0), false, &second), kNrcGoodRet);
    EXPECT_NE(first, second);
    EXPECT_EQ(m_alice.Add(Field("N3", 0)), kNrcNamTFul);
}

TEST_F(VirtualLanTest, SessionCarriesMessagesBothWaysUntilHangUp) {
    Request listen(0);
    m_bob.Listen(listen, m_bobName);
    uint8_t aliceLsn = 0;
    ASSERT_EQ(m_alice.Call(m_aliceName, m_bobName, &aliceLsn), kNrcGoodRet);
    ASSERT_TRUE(listen.Finished());
    EXPECT_EQ(listen.ncb.cmdCplt, kNrcGoodRet);
    EXPECT_EQ(Text(listen.ncb.callname), m_aliceName);
    const uint8_t bobLsn = listen.ncb.lsn;
    EXPECT_NE(bobLsn, 0);

    std::string received;
    EXPECT_EQ(m_alice.Send(aliceLsn, "hello bob"), kNrcGoodRet);
    EXPECT_EQ(m_alice.Send(aliceLsn, ""), kNrcGoodRet);
    EXPECT_EQ(m_bob.Receive(bobLsn, received), kNrcGoodRet);
    EXPECT_EQ(received, "hello bob");
    EXPECT_EQ(m_bob.Receive(bobLsn, received), kNrcGoodRet);
    EXPECT_EQ(received, "");
    EXPECT_EQ(m_bob.Send(bobLsn, "hi alice"), kNrcGoodRet);
    EXPECT_EQ(m_alice.Receive(aliceLsn, received), kNrcGoodRet);
    EXPECT_EQ(received, "hi alice");

    // A receive posted before the peer hangs up ends with "session closed".
    Request pending(0, 0, 64);
    m_bob.PostReceive(pending, bobLsn);
    EXPECT_FALSE(pending.event.IsSet());
    EXPECT_EQ(m_alice.HangUp(aliceLsn), kNrcGoodRet);
    ASSERT_TRUE(pending.Finished());
    EXPECT_EQ(pending.ncb.retcode, kNrcSClosed);

    EXPECT_EQ(m_bob.Send(bobLsn, "anyone?"), kNrcSClosed);
    EXPECT_EQ(m_bob.Receive(bobLsn, received), kNrcSClosed);
    EXPECT_EQ(m_alice.Send(aliceLsn, "x"), kNrcSnumOut);
    EXPECT_EQ(m_bob.HangUp(bobLsn), kNrcSClosed);
    EXPECT_EQ(m_bob.Receive(bobLsn, received), kNrcSnumOut);
}

TEST_F(VirtualLanTest, MessagesSentBeforeHangUpAreStillDelivered) {
    const auto [aliceLsn, bobLsn] = Connect();
    ASSERT_EQ(m_alice.Send(aliceLsn, "last words"), kNrcGoodRet);
    ASSERT_EQ(m_alice.HangUp(aliceLsn), kNrcGoodRet);
    std::string received;
    EXPECT_EQ(m_bob.Receive(bobLsn, received), kNrcGoodRet);
    EXPECT_EQ(received, "last words");
    EXPECT_EQ(m_bob.Receive(bobLsn, received), kNrcSClosed);
}

TEST_F(VirtualLanTest, SynchronousListenAndReceiveBlockUntilTheCallerActs) {
    uint8_t code = kNrcPending;
    std::string received;
    CvNcb listen;
    listen.command = kNcbListen;
    SetField(listen.name, m_bobName);
    SetField(listen.callname, kAnyone);
    listen.rto = 100;  // the receive gives up rather than hang the test
    std::thread bob([&] {
        if (m_bob.Provider().Submit(listen) == kNrcGoodRet) {
            code = m_bob.Receive(listen.lsn, received);
        }
    });
    uint8_t aliceLsn = 0;
    // The listen may not be posted yet; like the operation runner, retry.
    uint8_t callCode = kNrcNoCall;
    for (int i = 0; i < 200 && callCode == kNrcNoCall; ++i) {
        callCode = m_alice.Call(m_aliceName, m_bobName, &aliceLsn);
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(callCode, kNrcGoodRet);
    if (callCode != kNrcGoodRet) {
        m_bob.Cancel(listen);
    }
    EXPECT_EQ(m_alice.Send(aliceLsn, "wake up"), callCode);
    bob.join();
    EXPECT_EQ(code, kNrcGoodRet);
    EXPECT_EQ(received, "wake up");
}

TEST_F(VirtualLanTest, ReceiveTimesOutAfterTheSessionReceiveTimeOut) {
    const auto [aliceLsn, bobLsn] = Connect(/*aliceRto=*/3);
    std::string received;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_alice.Receive(aliceLsn, received), kNrcCmdTmo);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 3 * kUnit);
    EXPECT_LT(elapsed, 3 * kUnit + 1s);

    // The session survives a time-out.
    EXPECT_EQ(m_bob.Send(bobLsn, "late"), kNrcGoodRet);
    EXPECT_EQ(m_alice.Receive(aliceLsn, received), kNrcGoodRet);
    EXPECT_EQ(received, "late");

    // Bob's side has no receive time-out: his receive stays pending.
    Request pending(0, 0, 16);
    m_bob.PostReceive(pending, bobLsn);
    EXPECT_EQ(pending.event.Wait(static_cast<uint32_t>(5 * kUnit.count())), kWaitTimeout);
    EXPECT_EQ(m_bob.Cancel(pending.ncb), kNrcGoodRet);
    EXPECT_EQ(pending.ncb.retcode, kNrcCmdCan);
}

TEST_F(VirtualLanTest, LargeMessageArrivesInPiecesWithIncomplete) {
    const auto [aliceLsn, bobLsn] = Connect();
    ASSERT_EQ(m_alice.Send(aliceLsn, "0123456789"), kNrcGoodRet);
    ASSERT_EQ(m_alice.Send(aliceLsn, "next"), kNrcGoodRet);
    std::string piece;
    EXPECT_EQ(m_bob.Receive(bobLsn, piece, 4), kNrcIncomp);
    EXPECT_EQ(piece, "0123");
    EXPECT_EQ(m_bob.Receive(bobLsn, piece, 4), kNrcIncomp);
    EXPECT_EQ(piece, "4567");
    EXPECT_EQ(m_bob.Receive(bobLsn, piece, 4), kNrcGoodRet);
    EXPECT_EQ(piece, "89");
    EXPECT_EQ(m_bob.Receive(bobLsn, piece, 4), kNrcGoodRet);
    EXPECT_EQ(piece, "next");

    // The largest message a send can carry arrives whole.
    std::string big(0xFFFF, 'x');
    big[0xFFFE] = 'y';
    ASSERT_EQ(m_alice.Send(aliceLsn, big), kNrcGoodRet);
    EXPECT_EQ(m_bob.Receive(bobLsn, piece, 0xFFFF), kNrcGoodRet);
    EXPECT_EQ(piece, big);
}

TEST_F(VirtualLanTest, CallFailsWithoutAListeningHolder) {
    // Nobody holds the name; the holder does not listen; the listen is for
    // someone else; our own name is not registered.
    EXPECT_EQ(m_alice.Call(m_aliceName, Field("NOBODY", 0x03)), kNrcNoCall);
    EXPECT_EQ(m_alice.Call(m_aliceName, m_bobName), kNrcNoCall);
    Request listen(0);
    m_bob.Listen(listen, m_bobName, m_carolName);
    EXPECT_EQ(m_alice.Call(m_aliceName, m_bobName), kNrcNoCall);
    EXPECT_FALSE(listen.event.IsSet());
    EXPECT_EQ(m_alice.Call(Field("GHOST", 0x03), m_bobName), kNrcNoWild);

    // The caller the listen names gets through.
    uint8_t lsn = 0;
    EXPECT_EQ(m_carol.Call(m_carolName, m_bobName, &lsn), kNrcGoodRet);
    ASSERT_TRUE(listen.Finished());
    EXPECT_EQ(Text(listen.ncb.callname), m_carolName);

    // Each listen takes one call.
    EXPECT_EQ(m_alice.Call(m_aliceName, m_bobName), kNrcNoCall);
}

TEST_F(VirtualLanTest, AsynchronousCallCompletesThroughTheEvent) {
    Request call(kNcbCall | kNcbAsync);
    SetField(call.ncb.name, m_aliceName);
    SetField(call.ncb.callname, m_bobName);
    EXPECT_EQ(call.Post(m_alice.Provider()), kNrcPending);
    ASSERT_TRUE(call.Finished());
    EXPECT_EQ(call.ncb.retcode, kNrcNoCall);
    EXPECT_EQ(call.ncb.cmdCplt, kNrcNoCall);

    // A rejected request reports at once and still sets the event.
    Request bad(kNcbRecv | kNcbAsync, 0, 8);
    bad.ncb.lsn = 77;
    EXPECT_EQ(m_alice.Provider().Submit(bad.ncb), kNrcSnumOut);
    EXPECT_TRUE(bad.event.IsSet());
    EXPECT_EQ(bad.ncb.retcode, kNrcSnumOut);
}

TEST_F(VirtualLanTest, DatagramReachesUniqueHolderOrEveryGroupMember) {
    uint8_t aliceNumber = 0;
    uint8_t bobGroupNumber = 0;
    uint8_t carolGroupNumber = 0;
    ASSERT_EQ(m_alice.Add(m_group, true, &aliceNumber), kNrcGoodRet);
    ASSERT_EQ(m_bob.Add(m_group, true, &bobGroupNumber), kNrcGoodRet);
    ASSERT_EQ(m_carol.Add(m_group, true, &carolGroupNumber), kNrcGoodRet);

    // Alice (the sender, too) and Carol listen on the group name, Bob on any.
    Request atAlice(0, 0, 600);
    Request atBob(0, 0, 600);
    Request atCarol(0, 0, 600);
    m_alice.PostDatagramReceive(atAlice, aliceNumber);
    m_bob.PostDatagramReceive(atBob, 0xFF);
    m_carol.PostDatagramReceive(atCarol, carolGroupNumber);
    ASSERT_EQ(m_alice.SendDatagram(aliceNumber, m_group, "to all"), kNrcGoodRet);
    for (Request* request : {&atAlice, &atBob, &atCarol}) {
        ASSERT_TRUE(request->Finished());
        EXPECT_EQ(request->ncb.retcode, kNrcGoodRet);
        EXPECT_EQ(request->Received(), "to all");
        EXPECT_EQ(Text(request->ncb.callname), m_group);
    }

    // A unique name reaches only its holder; the sender's name comes along.
    uint8_t carolNumber = 0;
    ASSERT_EQ(m_carol.Delete(m_carolName), kNrcGoodRet);
    ASSERT_EQ(m_carol.Add(m_carolName, false, &carolNumber), kNrcGoodRet);
    Request bobAny(0, 0, 600);
    Request carolOwn(0, 0, 600);
    m_bob.PostDatagramReceive(bobAny, 0xFF);
    m_carol.PostDatagramReceive(carolOwn, carolNumber);
    ASSERT_EQ(m_alice.SendDatagram(aliceNumber, m_carolName, std::string(512, 'd')), kNrcGoodRet);
    ASSERT_TRUE(carolOwn.Finished());
    EXPECT_EQ(carolOwn.Received(), std::string(512, 'd'));
    EXPECT_EQ(Text(carolOwn.ncb.callname), m_group);
    EXPECT_FALSE(bobAny.event.IsSet());

    EXPECT_EQ(m_alice.SendDatagram(aliceNumber, m_bobName, std::string(513, 'd')), kNrcBufLen);
    EXPECT_FALSE(bobAny.event.IsSet());
    EXPECT_EQ(m_alice.SendDatagram(99, m_bobName, "x"), kNrcIllNn);
}

TEST_F(VirtualLanTest, DatagramsWithoutPostedReceiveWaitForTheNextOneAndSmallBufferTruncates) {
    uint8_t aliceNumber = 0;
    uint8_t bobNumber = 0;
    uint8_t otherNumber = 0;
    ASSERT_EQ(m_alice.Add(Field("ALICE", 0x00), false, &aliceNumber), kNrcGoodRet);
    ASSERT_EQ(m_bob.Add(Field("BOB", 0x00), false, &bobNumber), kNrcGoodRet);
    ASSERT_EQ(m_bob.Add(Field("BOB2", 0x00), false, &otherNumber), kNrcGoodRet);
    // Back to back, before any receive is posted: both are kept, in order.
    ASSERT_EQ(m_alice.SendDatagram(aliceNumber, Field("BOB", 0x00), "first"), kNrcGoodRet);
    ASSERT_EQ(m_alice.SendDatagram(aliceNumber, Field("BOB", 0x00), "second"), kNrcGoodRet);

    Request elsewhere(0, 0, 64);
    m_bob.PostDatagramReceive(elsewhere, otherNumber);
    EXPECT_FALSE(elsewhere.event.IsSet()) << "kept datagrams go only to their own name";

    Request first(0, 0, 64);
    m_bob.PostDatagramReceive(first, bobNumber);
    ASSERT_TRUE(first.Finished());
    EXPECT_EQ(first.Received(), "first");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first.ncb.callname), 5), "ALICE");

    Request small(0, 0, 3);
    m_bob.PostDatagramReceive(small, bobNumber);
    ASSERT_TRUE(small.Finished());
    EXPECT_EQ(small.ncb.retcode, kNrcIncomp);
    EXPECT_EQ(small.Received(), "sec");
}

TEST_F(VirtualLanTest, AdapterStatusListsTheAnsweringStationsNames) {
    ASSERT_EQ(m_bob.Add(m_group, true), kNrcGoodRet);
    std::vector<uint8_t> answer;
    ASSERT_EQ(m_alice.Status(m_bobName, answer), kNrcGoodRet);
    const auto status = CvAdapterStatus::Decode(answer);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->mac, m_bob.Provider().Mac(0));
    EXPECT_NE(status->mac, m_alice.Provider().Mac(0));
    ASSERT_EQ(status->names.size(), 2u);
    EXPECT_EQ(std::string(status->names[0].name.begin(), status->names[0].name.end()), m_bobName);
    EXPECT_EQ(status->names[0].flags, kNameFlagRegistered);
    EXPECT_EQ(std::string(status->names[1].name.begin(), status->names[1].name.end()), m_group);
    EXPECT_EQ(status->names[1].flags, kNameFlagRegistered | kNameFlagGroup);

    // The local adapter answers "*".
    ASSERT_EQ(m_alice.Status(kAnyone, answer), kNrcGoodRet);
    ASSERT_TRUE(CvAdapterStatus::Decode(answer));
    EXPECT_EQ(CvAdapterStatus::Decode(answer)->names.size(), 1u);

    EXPECT_EQ(m_alice.Status(Field("NOBODY", 0x03), answer), kNrcCmdTmo);
    EXPECT_EQ(m_alice.Status(m_bobName, answer, 70), kNrcIncomp);
    EXPECT_EQ(answer.size(), 70u);
}

TEST_F(VirtualLanTest, AsynchronousAdapterStatusSetsTheEvent) {
    Request status(kNcbAdapterStatus | kNcbAsync, 0, 1024);
    SetField(status.ncb.callname, m_carolName);
    ASSERT_EQ(status.Post(m_alice.Provider()), kNrcPending);
    ASSERT_TRUE(status.Finished());
    EXPECT_EQ(status.ncb.retcode, kNrcGoodRet);
    const auto decoded = CvAdapterStatus::Decode(std::span(status.data.data(), status.ncb.length));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->mac, m_carol.Provider().Mac(0));
}

TEST_F(VirtualLanTest, CancelEndsPendingCommandsOnce) {
    uint8_t number = 0;
    ASSERT_EQ(m_bob.Add(m_group, true, &number), kNrcGoodRet);
    Request listen(0);
    Request datagram(0, 0, 100);
    m_bob.Listen(listen, m_bobName);
    m_bob.PostDatagramReceive(datagram, number);
    for (Request* request : {&listen, &datagram}) {
        EXPECT_EQ(m_bob.Cancel(request->ncb), kNrcGoodRet);
        EXPECT_TRUE(request->event.IsSet());
        EXPECT_EQ(request->ncb.retcode, kNrcCmdCan);
        EXPECT_EQ(request->ncb.cmdCplt, kNrcCmdCan);
        EXPECT_EQ(m_bob.Cancel(request->ncb), kNrcCanOccr);
    }
    // The cancelled listen takes no more calls.
    EXPECT_EQ(m_alice.Call(m_aliceName, m_bobName), kNrcNoCall);
}

TEST_F(VirtualLanTest, CancelReleasesASynchronousWaiter) {
    CvNcb listen;
    listen.command = kNcbListen;
    SetField(listen.name, m_bobName);
    SetField(listen.callname, kAnyone);
    uint8_t code = 0;
    std::thread waiter([&] { code = m_bob.Provider().Submit(listen); });
    // Retry until the listen is posted.
    while (m_bob.Cancel(listen) != kNrcGoodRet) {
        std::this_thread::sleep_for(1ms);
    }
    waiter.join();
    EXPECT_EQ(code, kNrcCmdCan);
}

TEST_F(VirtualLanTest, DeletingANameEndsItsListensAndSessions) {
    const auto [aliceLsn, bobLsn] = Connect();
    Request listen(0);
    Request pending(0, 0, 16);
    m_bob.Listen(listen, m_bobName);
    m_alice.PostReceive(pending, aliceLsn);
    ASSERT_EQ(m_bob.Delete(m_bobName), kNrcGoodRet);
    ASSERT_TRUE(listen.Finished());
    EXPECT_EQ(listen.ncb.retcode, kNrcNamErr);
    ASSERT_TRUE(pending.Finished());
    EXPECT_EQ(pending.ncb.retcode, kNrcSClosed);
    std::string received;
    EXPECT_EQ(m_bob.Receive(bobLsn, received), kNrcSnumOut);
}

TEST_F(VirtualLanTest, ResetClearsNamesSessionsAndPendingCommands) {
    const auto [aliceLsn, bobLsn] = Connect();
    Request listen(0);
    m_bob.Listen(listen, m_bobName);
    CvNcb reset;
    reset.command = kNcbReset;
    ASSERT_EQ(m_bob.Provider().Submit(reset), kNrcGoodRet);
    ASSERT_TRUE(listen.Finished());
    EXPECT_EQ(listen.ncb.retcode, kNrcCmdCan);
    EXPECT_EQ(m_alice.Send(aliceLsn, "x"), kNrcSClosed);
    EXPECT_EQ(m_bob.Send(bobLsn, "x"), kNrcSnumOut);
    EXPECT_EQ(m_alice.Add(m_bobName), kNrcGoodRet);  // Bob no longer holds it
}

TEST_F(VirtualLanTest, DetachedAdapterVanishesFromTheSegment) {
    CvVirtualStation& bob = m_bob.Provider();
    ASSERT_TRUE(bob.AttachAdapter(3, kSegment + 1));
    EXPECT_FALSE(bob.AttachAdapter(3, kSegment));
    uint8_t lanas[256] = {};
    CvNcb enumerate;
    enumerate.command = kNcbEnum;
    enumerate.buffer = lanas;
    enumerate.length = sizeof lanas;
    ASSERT_EQ(bob.Submit(enumerate), kNrcGoodRet);
    EXPECT_EQ(std::vector<uint8_t>(lanas, lanas + 3), (std::vector<uint8_t>{2, 0, 3}));

    const auto [aliceLsn, bobLsn] = Connect();
    Request aliceReceive(0, 0, 16);
    Request bobListen(0);
    m_alice.PostReceive(aliceReceive, aliceLsn);
    m_bob.Listen(bobListen, m_bobName);

    ASSERT_TRUE(bob.DetachAdapter(0));
    EXPECT_FALSE(bob.DetachAdapter(0));
    ASSERT_TRUE(aliceReceive.Finished());
    EXPECT_EQ(aliceReceive.ncb.retcode, kNrcSAbort);
    ASSERT_TRUE(bobListen.Finished());
    EXPECT_EQ(bobListen.ncb.retcode, kNrcBridge);
    EXPECT_EQ(m_bob.Add(m_bobName), kNrcBridge);
    EXPECT_EQ(m_alice.Call(m_aliceName, m_bobName), kNrcNoCall);
    std::vector<uint8_t> answer;
    EXPECT_EQ(m_alice.Status(m_bobName, answer), kNrcCmdTmo);
    lanas[0] = 0;
    ASSERT_EQ(bob.Submit(enumerate), kNrcGoodRet);
    EXPECT_EQ(std::vector<uint8_t>(lanas, lanas + 2), (std::vector<uint8_t>{1, 3}));

    // Attached again, the adapter starts empty.
    ASSERT_TRUE(bob.AttachAdapter(0, kSegment));
    EXPECT_EQ(m_bob.Delete(m_bobName), kNrcNoWild);
    EXPECT_EQ(m_bob.Add(m_bobName), kNrcGoodRet);
}

TEST_F(VirtualLanTest, InjectedFailuresHitTheNextCommandsOfThatCode) {
    m_bob.Provider().InjectFailure(kNcbListen, kNrcNoRes, 1);
    m_alice.Provider().InjectFailure(kNcbCall | kNcbAsync, kNrcCmdTmo, 2);

    Request failed(0);
    m_bob.Listen(failed, m_bobName);  // still queued as asynchronous
    ASSERT_TRUE(failed.Finished());
    EXPECT_EQ(failed.ncb.retcode, kNrcNoRes);

    Request listen(0);
    m_bob.Listen(listen, m_bobName);
    EXPECT_EQ(m_alice.Call(m_aliceName, m_bobName), kNrcCmdTmo);
    EXPECT_EQ(m_alice.Call(m_aliceName, m_bobName), kNrcCmdTmo);
    EXPECT_FALSE(listen.event.IsSet());
    EXPECT_EQ(m_alice.Call(m_aliceName, m_bobName), kNrcGoodRet);
    EXPECT_TRUE(listen.Finished());
}

TEST_F(VirtualLanTest, AnInjectedFailureCanSkipTheFirstCommands) {
    const auto [aliceLsn, bobLsn] = Connect();
    m_bob.Provider().InjectFailure(kNcbSend, kNrcSClosed, 1, 2);
    std::string received;
    for (const uint8_t expected : {kNrcGoodRet, kNrcGoodRet, kNrcSClosed, kNrcGoodRet}) {
        EXPECT_EQ(m_bob.Send(bobLsn, "x"), expected);
    }
    EXPECT_EQ(m_alice.Receive(aliceLsn, received), kNrcGoodRet);
}

TEST_F(VirtualLanTest, ANameInConflictEndsItsCommandsAndIsFreeForOthersUntilDeleted) {
    uint8_t bobGroup = 0;
    ASSERT_EQ(m_bob.Add(m_group, true, &bobGroup), kNrcGoodRet);
    Request listen(0);
    Request datagram(0, 0, 64);
    Request otherListen(0);
    m_bob.Listen(listen, m_bobName);
    m_bob.PostDatagramReceive(datagram, bobGroup);
    ASSERT_EQ(m_bob.Add(Field("BOB2", 0x03)), kNrcGoodRet);
    m_bob.Listen(otherListen, Field("BOB2", 0x03));

    EXPECT_FALSE(m_bob.Provider().InjectConflict(0, "NOBODY", 0x03));
    EXPECT_FALSE(m_bob.Provider().InjectConflict(7, "BOB", 0x03));
    ASSERT_TRUE(m_bob.Provider().InjectConflict(0, "BOB", 0x03));
    ASSERT_TRUE(m_bob.Provider().InjectConflict(0, "WORKGROUP", 0x00));
    ASSERT_TRUE(listen.Finished());
    EXPECT_EQ(listen.ncb.retcode, kNrcNamConf);
    ASSERT_TRUE(datagram.Finished());
    EXPECT_EQ(datagram.ncb.retcode, kNrcNamConf);
    EXPECT_FALSE(otherListen.event.IsSet()) << "other names are not touched";

    // Bob's own commands on the name end at once; nobody reaches it.
    Request again(0);
    m_bob.Listen(again, m_bobName);
    ASSERT_TRUE(again.Finished());
    EXPECT_EQ(again.ncb.retcode, kNrcNamConf);
    EXPECT_EQ(m_bob.Call(m_bobName, m_aliceName), kNrcNamConf);
    EXPECT_EQ(m_alice.Call(m_aliceName, m_bobName), kNrcNoCall);
    std::vector<uint8_t> answer;
    EXPECT_EQ(m_alice.Status(m_bobName, answer), kNrcCmdTmo);

    // Bob's table shows the name as a duplicate.
    ASSERT_EQ(m_bob.Status(kAnyone, answer), kNrcGoodRet);
    const auto status = CvAdapterStatus::Decode(answer);
    ASSERT_TRUE(status);
    std::vector<std::pair<std::string, uint8_t>> flags;
    for (const auto& name : status->names) {
        flags.emplace_back(std::string(name.name.begin(), name.name.end()), name.flags);
    }
    EXPECT_EQ(flags, (std::vector<std::pair<std::string, uint8_t>>{
                         {m_bobName, 0x06},
                         {m_group, 0x06 | kNameFlagGroup},
                         {Field("BOB2", 0x03), kNameFlagRegistered}}));

    // Another station may take the name; once it lets go, Bob registers it
    // afresh by deleting and adding it.
    ASSERT_EQ(m_carol.Add(m_bobName), kNrcGoodRet);
    EXPECT_EQ(m_bob.Add(m_bobName), kNrcDupName) << "still in Bob's table";
    ASSERT_EQ(m_bob.Delete(m_bobName), kNrcGoodRet);
    EXPECT_EQ(m_bob.Add(m_bobName), kNrcInUse);
    ASSERT_EQ(m_carol.Delete(m_bobName), kNrcGoodRet);
    ASSERT_EQ(m_bob.Add(m_bobName), kNrcGoodRet);
    Connect();
}

TEST_F(VirtualLanTest, CommandsOnUnknownAdapterFailWithBridge) {
    Request listen(kNcbListen | kNcbAsync, 5);
    SetField(listen.ncb.name, m_aliceName);
    EXPECT_EQ(m_alice.Provider().Submit(listen.ncb), kNrcBridge);
    EXPECT_TRUE(listen.event.IsSet());
    CvNcb status;
    status.command = kNcbAdapterStatus;
    status.lana = 9;
    EXPECT_EQ(m_alice.Provider().Submit(status), kNrcBridge);
}

}  // namespace

TEST(VirtualLanConcurrency, ConcurrentCallersEachGetTheirOwnSession) {
    constexpr int kClients = 4;
    constexpr int kRounds = 5;
    CvVirtualLan lan(kUnit);
    Station server(lan);
    const std::string serverName = Field("SERVER", 0x03);
    ASSERT_EQ(server.Add(serverName), kNrcGoodRet);

    // Echoes one message per session until the caller hangs up.
    int served = 0;
    std::atomic<bool> serverDone{false};
    std::thread serve([&] {
        struct Done {
            std::atomic<bool>& flag;
            ~Done() { flag = true; }
        } done{serverDone};
        for (int i = 0; i < kClients * kRounds; ++i) {
            CvNcb listen;
            listen.command = kNcbListen;
            SetField(listen.name, serverName);
            SetField(listen.callname, kAnyone);
            listen.rto = 100;
            if (server.Provider().Submit(listen) != kNrcGoodRet) {
                return;
            }
            std::string message;
            if (server.Receive(listen.lsn, message) == kNrcGoodRet &&
                server.Send(listen.lsn, message) == kNrcGoodRet &&
                server.Receive(listen.lsn, message) == kNrcSClosed) {
                ++served;
            }
            server.HangUp(listen.lsn);
        }
    });

    std::vector<std::unique_ptr<Station>> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.push_back(std::make_unique<Station>(lan));
        ASSERT_EQ(clients.back()->Add(Field(("CLIENT" + std::to_string(c)).c_str(), 3)),
                  kNrcGoodRet);
    }
    std::vector<int> echoed(kClients, 0);
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            Station& client = *clients[static_cast<size_t>(c)];
            const std::string name = Field(("CLIENT" + std::to_string(c)).c_str(), 3);
            for (int round = 0; round < kRounds; ++round) {
                uint8_t lsn = 0;
                uint8_t code = kNrcNoCall;
                for (int attempt = 0; attempt < 2000 && code == kNrcNoCall; ++attempt) {
                    code = client.Call(name, serverName, &lsn, 100);
                    if (code == kNrcNoCall) {
                        std::this_thread::sleep_for(1ms);
                    }
                }
                if (code != kNrcGoodRet) {
                    return;
                }
                const std::string message = name + std::to_string(round);
                std::string reply;
                if (client.Send(lsn, message) == kNrcGoodRet &&
                    client.Receive(lsn, reply) == kNrcGoodRet && reply == message) {
                    ++echoed[static_cast<size_t>(c)];
                }
                client.HangUp(lsn);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    // Should a client have given up, the server still listens: reset its
    // adapter (ending the listen) until it notices.
    if (!WaitUntil([&] { return serverDone.load(); }, 2s)) {
        CvNcb reset;
        reset.command = kNcbReset;
        while (!serverDone) {
            server.Provider().Submit(reset);
            std::this_thread::sleep_for(1ms);
        }
    }
    serve.join();
    EXPECT_EQ(served, kClients * kRounds);
    EXPECT_EQ(echoed, std::vector<int>(kClients, kRounds));
}
