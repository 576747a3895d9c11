#include "messaging/CvControlServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "messaging/CvControlClient.h"
#include "messaging/CvControlSocket.h"
#include "messaging/CvStation.h"
#include "messaging/SendResultCode.h"
#include "platform/CvUnixMailslots.h"
#include "platform/CvVirtualLan.h"
#include "platform/CvVirtualStation.h"
#include "support/TestEnv.h"
#include "support/VirtualLanStation.h"

namespace {

using namespace std::chrono_literals;

// A running station on the virtual LAN serving its control socket in a
// private runtime folder, and a peer BOB on the same segment.
class ControlFixture : public testing::Test {
protected:
    void SetUp() override {
        host.AttachAdapter(0, 1);
        CvStationSettings settings;
        settings.computerName = "ALPHA";
        settings.userName = "ALICE";
        settings.workgroup = "WG";
        settings.sendTimeoutMs = 500;
        station = std::make_unique<CvStation>(host, local, settings);
        station->SetWatchPeriod(20);
        station->Start();
        ASSERT_TRUE(station->WaitRegistered(5000));
        ASSERT_TRUE(bob.WaitRegistered());
        path = CvControlServer::DefaultPath();
        ASSERT_EQ(path, runtime.Path() + "/corvane/control");
        server = std::make_unique<CvControlServer>(*station, path);
        std::string error;
        ASSERT_TRUE(server->Open(&error)) << error;
        server->SetRequestTimeout(500);
        server->Start();
    }
    void TearDown() override {
        server.reset();
        station.reset();
    }

    // Sends a raw line and returns the raw reply.
    std::string Raw(const std::string& line) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        CvControlSocket::MakeAddress(path, address);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        CvControlSocket::WriteAll(fd, line);
        std::string reply;
        CvControlSocket::ReadLine(fd, reply, 4096, 10000, {});
        close(fd);
        return reply;
    }

    TempDir runtime;
    ScopedEnv xdg{"XDG_RUNTIME_DIR", runtime.Path()};
    CvVirtualLan lan;
    VirtualLanStation bob{lan, "BETA", {"BOB"}, {"WG"}};
    CvVirtualStation host{lan};
    TempDir mailslotDir;
    CvUnixMailslots local{nullptr, mailslotDir.Path() + "/mailslot"};
    std::unique_ptr<CvStation> station;
    std::string path;
    std::unique_ptr<CvControlServer> server;
};

TEST_F(ControlFixture, SendsThroughTheRunningStation) {
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    auto sent = CvControlClient::Send({MsgPersonal, "bob", "", "hello\r\nthere"}, path, 10000);
    ASSERT_EQ(sent.status, CvControlClient::Status::Replied) << sent.error;
    EXPECT_EQ(sent.reply.code, SendResultSuccess);
    ASSERT_TRUE(bob.inbox.WaitFor(1));
    EXPECT_EQ(bob.inbox.Messages()[0].sender, "ALICE");  // the default signer
    EXPECT_EQ(bob.inbox.Messages()[0].text, "hello\r\nthere");

    auto fromComputer = CvControlClient::Send({MsgPersonal, "BOB", "alpha", "2"}, path, 10000);
    EXPECT_EQ(fromComputer.reply.code, SendResultSuccess);
    ASSERT_TRUE(bob.inbox.WaitFor(2));
    EXPECT_EQ(bob.inbox.Messages()[1].sender, "ALPHA");

    auto unknown = CvControlClient::Send({MsgPersonal, "NOBODY", "", "x"}, path, 10000);
    ASSERT_EQ(unknown.status, CvControlClient::Status::Replied);
    EXPECT_EQ(unknown.reply.code, SendResultAddrNotFound);
}

TEST_F(ControlFixture, RefusesBadRequestsAndKeepsServing) {
    auto foreign = CvControlClient::Send({MsgPersonal, "BOB", "MALLORY", "x"}, path, 10000);
    ASSERT_EQ(foreign.status, CvControlClient::Status::Replied);
    EXPECT_EQ(foreign.reply.code, 0);
    EXPECT_EQ(foreign.reply.error, "not a name of this station: MALLORY");

    EXPECT_EQ(Raw("HELLO\n"), "ERROR unknown%20request\n");
    EXPECT_EQ(Raw("SEND 9 BOB - x\n"), "ERROR unknown%20message%20type\n");
    EXPECT_EQ(Raw(std::string(CvControlProtocol::kMaxLine + 10, 'x')),
              "ERROR request%20too%20long\n");
    // A client that connects and says nothing does not block the next one
    // for longer than the request time-out.
    const int idle = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    CvControlSocket::MakeAddress(path, address);
    ASSERT_EQ(connect(idle, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    auto after = CvControlClient::Send({MsgPersonal, "BOB", "", "after"}, path, 15000);
    close(idle);
    EXPECT_EQ(after.reply.code, SendResultSuccess);
}

TEST_F(ControlFixture, ASecondServerIsRefusedAndAStaleSocketReplaced) {
    CvControlServer second(*station, path);
    std::string error;
    EXPECT_FALSE(second.Open(&error));
    EXPECT_NE(error.find("another station"), std::string::npos);

    server.reset();  // removes its socket file
    EXPECT_EQ(CvControlClient::Send({MsgPersonal, "BOB", "", "x"}, path, 1000).status,
              CvControlClient::Status::NoStation);
    // A file left behind by a station that crashed.
    const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    CvControlSocket::MakeAddress(path, address);
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(stale);
    EXPECT_EQ(CvControlClient::Send({MsgPersonal, "BOB", "", "x"}, path, 1000).status,
              CvControlClient::Status::NoStation);
    CvControlServer third(*station, path);
    EXPECT_TRUE(third.Open(&error)) << error;
}

TEST_F(ControlFixture, StoppingTheStationAnswersAWaitingRequest) {
    station->Stop();
    auto late = CvControlClient::Send({MsgPersonal, "BOB", "", "x"}, path, 10000);
    ASSERT_EQ(late.status, CvControlClient::Status::Replied);
    EXPECT_EQ(late.reply.error, "the station is stopping");
}

}  // namespace
