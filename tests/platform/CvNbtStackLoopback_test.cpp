#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "CvNbtLoopbackPeer.h"
#include "platform/CvAdapterStatus.h"
#include "platform/CvEvent.h"
#include "platform/nbt/CvNbtStack.h"
#include "platform/nbt/NbtNamePacketBuilder.h"
#include "platform/nbt/NbtNbAddress.h"
#include "platform/nbt/NbtNodeStatus.h"
#include "platform/nbt/NbtSessionFrame.h"

using loopback::kBroadcast;
using loopback::kForgerIp;
using loopback::kPeerIp;
using loopback::kStationIp;
using loopback::Name;
using loopback::RequestFor;
using loopback::StatusAnswer;
using loopback::UdpSocket;

namespace {

constexpr uint8_t kNameStateDuplicate = 0x06;

// An asynchronous command and the event its completion sets. One that goes
// out of scope unfinished (after a failed assertion) is cancelled, so that the
// stack does not write to it afterwards.
class AsyncNcb {
public:
    explicit AsyncNcb(CvNetbiosProvider& provider) : m_provider(provider) {}
    ~AsyncNcb() {
        if (ncb.retcode == kNrcPending) {
            CvNcb cancel;
            cancel.command = kNcbCancel;
            cancel.cancelTarget = &ncb;
            m_provider.Submit(cancel);
        }
    }
    AsyncNcb(const AsyncNcb&) = delete;
    AsyncNcb& operator=(const AsyncNcb&) = delete;

    bool Finished(int ms) { return done.Wait(ms) == kWaitObject0; }

    CvNcb ncb;
    CvEvent done;

private:
    CvNetbiosProvider& m_provider;
};

NbtBytes NbAddress(uint32_t address, uint16_t flags = 0) {
    const NbtNbAddress entry{flags, address};
    return NbtNbAddress::EncodeList({&entry, 1});
}

// The answer of a station at `address` to a query for name.
NbtNamePacket PositiveAnswer(const NbtNamePacket& query, uint32_t address) {
    const NbtNbAddress entry{0, address};
    return NbtNamePacketBuilder::PositiveQueryResponse(query.trnId, query.questions.front().name, 0,
                                                       {&entry, 1});
}

// The stack on the loopback interface, whose address the test can change,
// with another station (kPeerIp) that hears its broadcasts.
class CvNbtStackLoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_broadcasts.IsOpen());
        ASSERT_TRUE(m_peer.IsOpen());
        m_stack.emplace(m_ports, [this] {
            std::lock_guard guard(m_adapterLock);
            return std::vector<CvIpAdapter>{m_adapter};
        });
        CvNcb reset;
        reset.command = kNcbReset;
        ASSERT_EQ(m_stack->Submit(reset), kNrcGoodRet);
    }

    void SetAdapter(const CvIpAdapter& adapter) {
        std::lock_guard guard(m_adapterLock);
        m_adapter = adapter;
    }

    // The stack looks at the adapters again, as the network watch makes it.
    void Enumerate() {
        uint8_t lanas[256] = {};
        CvNcb ncb;
        ncb.command = kNcbEnum;
        ncb.buffer = lanas;
        ncb.length = sizeof lanas;
        ASSERT_EQ(m_stack->Submit(ncb), kNrcGoodRet);
    }

    void Start(AsyncNcb& command, uint8_t code) {
        command.ncb.command = code | kNcbAsync;
        command.ncb.event = &command.done;
        ASSERT_EQ(m_stack->Submit(command.ncb), kNrcPending);
    }

    void StartAdd(AsyncNcb& add, const char* name) {
        CvSetNetbiosName(add.ncb.name, name, std::strlen(name), 0x03);
        Start(add, kNcbAddName);
    }

    // Registers name with nobody defending it; the name number.
    uint8_t Add(const char* name) {
        CvNcb ncb;
        ncb.command = kNcbAddName;
        CvSetNetbiosName(ncb.name, name, std::strlen(name), 0x03);
        EXPECT_EQ(m_stack->Submit(ncb), kNrcGoodRet) << name;
        return ncb.num;
    }

    void StartListen(AsyncNcb& listen, const char* name) {
        CvSetNetbiosName(listen.ncb.name, name, std::strlen(name), 0x03);
        CvSetNetbiosName(listen.ncb.callname, "*", 1, 0x00);
        Start(listen, kNcbListen);
    }

    void StartReceiveDatagram(AsyncNcb& receive, uint8_t number, std::vector<uint8_t>& buffer) {
        receive.ncb.num = number;
        receive.ncb.buffer = buffer.data();
        receive.ncb.length = static_cast<uint16_t>(buffer.size());
        Start(receive, kNcbRecvDatagram);
    }

    // Adapter status of our own table ("*").
    CvAdapterStatus LocalStatus() {
        std::vector<uint8_t> buffer(4096);
        CvNcb ncb;
        ncb.command = kNcbAdapterStatus;
        CvSetNetbiosName(ncb.callname, "*", 1, 0x00);
        ncb.buffer = buffer.data();
        ncb.length = static_cast<uint16_t>(buffer.size());
        EXPECT_EQ(m_stack->Submit(ncb), kNrcGoodRet);
        return CvAdapterStatus::Decode({buffer.data(), ncb.length}).value_or(CvAdapterStatus{});
    }

    // The NAME_BUFFER state of name in our table; nullopt if not listed.
    std::optional<uint8_t> StateOf(const char* name) {
        const NbtName wanted = Name(name);
        for (const auto& entry : LocalStatus().names) {
            if (std::memcmp(entry.name.data(), wanted.Raw().data(), entry.name.size()) == 0) {
                return entry.flags & kNameFlagStateMask;
            }
        }
        return std::nullopt;
    }

    // A NAME CONFLICT DEMAND for name, as a station that saw two answers
    // sends it.
    void SendDemand(const char* name) {
        m_broadcasts.Drain();
        const NbtBytes rdata = NbAddress(kPeerIp);
        ASSERT_TRUE(m_peer.SendTo(NbtNamePacketBuilder::ConflictDemand(0x4242, Name(name), rdata),
                                  kStationIp, m_ports.name));
    }

    const CvNbtPorts m_ports = loopback::TestPorts();
    UdpSocket m_broadcasts{kBroadcast, m_ports.name};
    UdpSocket m_peer{kPeerIp, m_ports.name};
    std::mutex m_adapterLock;
    CvIpAdapter m_adapter = loopback::Adapter(kStationIp);
    // Last, so that it goes first: it calls back into the adapter source.
    std::optional<CvNbtStack> m_stack;
};

// --- Name conflicts ---------------------------------------------------------

TEST_F(CvNbtStackLoopbackTest, ADemandForANameNobodyElseHoldsLeavesItRegistered) {
    Add("CVOWNER");
    AsyncNcb listen(*m_stack);
    StartListen(listen, "CVOWNER");

    SendDemand("CVOWNER");
    // The stack asks for the name itself; nobody but it holds the name.
    const auto check = m_broadcasts.NextNamePacket(1000, RequestFor(kNbtOpQuery, Name("CVOWNER")));
    EXPECT_TRUE(check) << "a demand alone must not settle it";
    EXPECT_FALSE(listen.Finished(kConflictTimerMs + 300));
    EXPECT_EQ(StateOf("CVOWNER"), kNameFlagRegistered);

    // It still answers for the name.
    const auto query = NbtNamePacketBuilder::NameQueryRequest(0x5151, Name("CVOWNER"), false);
    ASSERT_TRUE(m_peer.SendTo(query, kStationIp, m_ports.name));
    EXPECT_TRUE(m_peer.NextNamePacket(1000, [](const NbtNamePacket& answer) {
        return answer.IsResponse() && answer.trnId == 0x5151 && answer.Rcode() == 0;
    }));
}

TEST_F(CvNbtStackLoopbackTest, AConfirmedConflictEndsTheNamesCommandsUntilItIsFreeAgain) {
    const uint8_t number = Add("CVOWNER");
    AsyncNcb listen(*m_stack);
    StartListen(listen, "CVOWNER");
    AsyncNcb receive(*m_stack);
    std::vector<uint8_t> buffer(64);
    StartReceiveDatagram(receive, number, buffer);

    SendDemand("CVOWNER");
    // The other station holds the name too, and answers for it when asked.
    if (const auto query =
            m_broadcasts.NextNamePacket(1000, RequestFor(kNbtOpQuery, Name("CVOWNER")))) {
        ASSERT_TRUE(m_peer.SendTo(PositiveAnswer(*query, kPeerIp), kStationIp, m_ports.name));
    }

    ASSERT_TRUE(listen.Finished(2000));
    EXPECT_EQ(listen.ncb.retcode, kNrcNamConf);
    ASSERT_TRUE(receive.Finished(2000));
    EXPECT_EQ(receive.ncb.retcode, kNrcNamConf);
    EXPECT_EQ(StateOf("CVOWNER"), kNameStateDuplicate);
    // Commands issued on the name later are refused the same way.
    for (uint8_t command : {kNcbRecvDatagram, kNcbListen, kNcbCall}) {
        CvNcb later;
        later.command = command;
        later.num = number;
        later.buffer = buffer.data();
        later.length = static_cast<uint16_t>(buffer.size());
        CvSetNetbiosName(later.name, "CVOWNER", 7, 0x03);
        const char* callname = command == kNcbListen ? "*" : "CVPEER";
        CvSetNetbiosName(later.callname, callname, std::strlen(callname), 0x03);
        EXPECT_EQ(m_stack->Submit(later), kNrcNamConf) << int(command);
    }

    // Adding it again claims it afresh; the other station defends it.
    m_broadcasts.Drain();
    AsyncNcb again(*m_stack);
    StartAdd(again, "CVOWNER");
    const auto claim =
        m_broadcasts.NextNamePacket(1000, RequestFor(kNbtOpRegistration, Name("CVOWNER")));
    ASSERT_TRUE(claim);
    ASSERT_TRUE(m_peer.SendTo(NbtNamePacketBuilder::NegativeRegistrationResponse(*claim).Value(),
                              kStationIp, m_ports.name));
    ASSERT_TRUE(again.Finished(3000));
    EXPECT_EQ(again.ncb.retcode, kNrcInUse);

    // The other station let go of it.
    Add("CVOWNER");
    EXPECT_EQ(StateOf("CVOWNER"), kNameFlagRegistered);
}

// --- Address changes --------------------------------------------------------

TEST_F(CvNbtStackLoopbackTest, ANewAddressClosesTheAdapterAndResetsItWithThatAddress) {
    const uint8_t number = Add("CVMOVER");

    // A caller on a session to the name, with a receive posted on it.
    AsyncNcb accepted(*m_stack);
    StartListen(accepted, "CVMOVER");
    const int caller = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in oldEndpoint = loopback::Endpoint(kStationIp, m_ports.session);
    ASSERT_EQ(connect(caller, reinterpret_cast<const sockaddr*>(&oldEndpoint), sizeof oldEndpoint),
              0);
    const auto request =
        NbtSessionFrame::SessionRequest(Name("CVMOVER"), Name("CVCALLER")).Encode().Value();
    ASSERT_EQ(send(caller, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    ASSERT_TRUE(accepted.Finished(2000));
    ASSERT_EQ(accepted.ncb.retcode, kNrcGoodRet);
    std::vector<uint8_t> sessionBuffer(64);
    AsyncNcb onSession(*m_stack);
    onSession.ncb.lsn = accepted.ncb.lsn;
    onSession.ncb.buffer = sessionBuffer.data();
    onSession.ncb.length = static_cast<uint16_t>(sessionBuffer.size());
    Start(onSession, kNcbRecv);
    AsyncNcb listen(*m_stack);
    StartListen(listen, "CVMOVER");
    AsyncNcb receive(*m_stack);
    std::vector<uint8_t> buffer(64);
    StartReceiveDatagram(receive, number, buffer);
    // A caller still in its handshake: connected, no session request yet.
    const int silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(connect(silent, reinterpret_cast<const sockaddr*>(&oldEndpoint), sizeof oldEndpoint),
              0);

    m_broadcasts.Drain();
    SetAdapter(loopback::Adapter(kStationIp + 1));
    Enumerate();

    ASSERT_TRUE(onSession.Finished(2000));
    EXPECT_EQ(onSession.ncb.retcode, kNrcSClosed);
    ASSERT_TRUE(listen.Finished(2000));
    EXPECT_EQ(listen.ncb.retcode, kNrcNamErr);
    ASSERT_TRUE(receive.Finished(2000));
    EXPECT_EQ(receive.ncb.retcode, kNrcNamErr);
    // The name was given up from the old address.
    const auto release =
        m_broadcasts.NextNamePacket(1000, RequestFor(kNbtOpRelease, Name("CVMOVER")));
    ASSERT_TRUE(release);
    ASSERT_FALSE(release->additionals.empty());
    EXPECT_EQ(release->additionals.front().rdata, NbAddress(kStationIp));
    EXPECT_TRUE(LocalStatus().names.empty());
    // The caller's connection went with it: the next read sees its end.
    uint8_t byte = 0;
    timeval limit{2, 0};
    setsockopt(caller, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char header[4] = {};
    recv(caller, header, sizeof header, 0);  // the positive session response
    EXPECT_EQ(recv(caller, &byte, 1, 0), 0);
    close(caller);
    // So did the one in its handshake, at once rather than at its time-out.
    // (A reset if the listener closed before taking it from its backlog.)
    setsockopt(silent, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const ssize_t got = recv(silent, &byte, 1, 0);
    EXPECT_TRUE(got == 0 || (got < 0 && errno == ECONNRESET)) << std::strerror(errno);
    close(silent);

    // The name is claimed again with the new address, and calls reach it there.
    m_broadcasts.Drain();
    AsyncNcb again(*m_stack);
    StartAdd(again, "CVMOVER");
    const auto claim =
        m_broadcasts.NextNamePacket(1000, RequestFor(kNbtOpRegistration, Name("CVMOVER")));
    ASSERT_TRUE(claim);
    ASSERT_FALSE(claim->additionals.empty());
    EXPECT_EQ(claim->additionals.front().rdata, NbAddress(kStationIp + 1));
    ASSERT_TRUE(again.Finished(3000));
    EXPECT_EQ(again.ncb.retcode, kNrcGoodRet);
    const int nextCaller = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in newEndpoint = loopback::Endpoint(kStationIp + 1, m_ports.session);
    EXPECT_EQ(
        connect(nextCaller, reinterpret_cast<const sockaddr*>(&newEndpoint), sizeof newEndpoint),
        0);
    close(nextCaller);
}

TEST_F(CvNbtStackLoopbackTest, AnyChangeOfAddressNetmaskBroadcastOrInterfaceClosesTheAdapter) {
    struct Case {
        const char* what;
        uint32_t address;
        uint32_t netmask;
        uint32_t broadcast;
        unsigned indexOffset;
        bool closes;
    };
    const Case cases[] = {
        {"nothing", kStationIp, 0xFF000000, kBroadcast, 0, false},
        {"address", kStationIp + 2, 0xFF000000, kBroadcast, 0, true},
        {"netmask", kStationIp + 2, 0xFFFF0000, kBroadcast, 0, true},
        {"broadcast", kStationIp + 2, 0xFFFF0000, 0x7F00FFFF, 0, true},
        {"interface", kStationIp + 2, 0xFFFF0000, 0x7F00FFFF, 1000, true},
    };
    for (const auto& c : cases) {
        // A name still registering is the quickest sign of an open adapter.
        AsyncNcb add(*m_stack);
        StartAdd(add, "CVPROBE");
        CvIpAdapter changed = loopback::Adapter(c.address);
        changed.netmask = c.netmask;
        changed.broadcast = c.broadcast;
        changed.interfaceIndex += c.indexOffset;
        SetAdapter(changed);
        Enumerate();
        if (c.closes) {
            ASSERT_TRUE(add.Finished(500)) << c.what;
            EXPECT_EQ(add.ncb.retcode, kNrcNamErr) << c.what;
        } else {
            EXPECT_FALSE(add.Finished(100)) << c.what;
        }
    }
}

// --- Answer sources and transaction ids -------------------------------------

TEST_F(CvNbtStackLoopbackTest, NodeStatusTakesTheAnswerOnlyFromTheStationAsked) {
    UdpSocket forger(kForgerIp, m_ports.name);
    ASSERT_TRUE(forger.IsOpen());
    std::vector<uint8_t> buffer(1024);
    AsyncNcb status(*m_stack);
    CvSetNetbiosName(status.ncb.callname, "CVREMOTE", 8, 0x03);
    status.ncb.buffer = buffer.data();
    status.ncb.length = static_cast<uint16_t>(buffer.size());
    Start(status, kNcbAdapterStatus);

    const auto query = m_broadcasts.NextNamePacket(1000, RequestFor(kNbtOpQuery, Name("CVREMOTE")));
    ASSERT_TRUE(query);
    ASSERT_TRUE(m_peer.SendTo(PositiveAnswer(*query, kPeerIp), kStationIp, m_ports.name));
    const auto request = m_peer.NextNamePacket(
        2000, RequestFor(kNbtOpQuery, NbtName::Make("*", 0).Value(), kNbtTypeNbstat));
    ASSERT_TRUE(request);
    // Someone who saw the request answers first, then the station asked.
    ASSERT_TRUE(forger.SendTo(StatusAnswer(request->trnId, "CVFORGED"), kStationIp, m_ports.name));
    ASSERT_TRUE(m_peer.SendTo(StatusAnswer(request->trnId, "CVGENUINE"), kStationIp, m_ports.name));

    ASSERT_TRUE(status.Finished(5000));
    ASSERT_EQ(status.ncb.retcode, kNrcGoodRet);
    const auto table = CvAdapterStatus::Decode({buffer.data(), status.ncb.length});
    ASSERT_TRUE(table);
    ASSERT_EQ(table->names.size(), 1u);
    EXPECT_EQ(std::string(table->names[0].name.begin(), table->names[0].name.end()),
              Name("CVGENUINE").Raw());
}

TEST_F(CvNbtStackLoopbackTest, RequestIdsDoNotFollowEachOther) {
    std::vector<uint16_t> ids;
    for (int round = 0; round < 6; ++round) {
        m_broadcasts.Drain();
        std::vector<uint8_t> buffer(1024);
        AsyncNcb status(*m_stack);
        CvSetNetbiosName(status.ncb.callname, "CVREMOTE", 8, 0x03);
        status.ncb.buffer = buffer.data();
        status.ncb.length = static_cast<uint16_t>(buffer.size());
        Start(status, kNcbAdapterStatus);
        const auto query =
            m_broadcasts.NextNamePacket(1000, RequestFor(kNbtOpQuery, Name("CVREMOTE")));
        ASSERT_TRUE(query);
        ASSERT_TRUE(m_peer.SendTo(PositiveAnswer(*query, kPeerIp), kStationIp, m_ports.name));
        const auto request = m_peer.NextNamePacket(
            2000, RequestFor(kNbtOpQuery, NbtName::Make("*", 0).Value(), kNbtTypeNbstat));
        ASSERT_TRUE(request);
        ASSERT_TRUE(
            m_peer.SendTo(StatusAnswer(request->trnId, "CVREMOTE"), kStationIp, m_ports.name));
        ASSERT_TRUE(status.Finished(5000));
        ids.push_back(query->trnId);
        ids.push_back(request->trnId);
    }
    int successors = 0;
    for (size_t i = 1; i < ids.size(); ++i) {
        successors += static_cast<uint16_t>(ids[i - 1] + 1) == ids[i] ? 1 : 0;
    }
    // Random ids follow each other by chance once in 65536 pairs.
    EXPECT_LT(successors, 3);
}

}  // namespace
