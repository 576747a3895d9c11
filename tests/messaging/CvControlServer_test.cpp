#include "messaging/CvControlServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "messaging/CvControlClient.h"
#include "messaging/CvControlProtocol.h"
#include "messaging/CvControlSocket.h"
#include "messaging/CvStation.h"
#include "messaging/SendResultCode.h"
#include "platform/CvUnixMailslots.h"
#include "platform/CvVirtualLan.h"
#include "platform/CvVirtualStation.h"
#include "support/TestEnv.h"
#include "support/VirtualLanStation.h"

// Counts the process's umask calls. The mask is shared by every thread, so
// a server that changed it for a moment would change the mode of files other
// threads create in that moment.
std::atomic<int> g_umaskCalls{0};

extern "C" mode_t umask(mode_t mask) noexcept {
    using Umask = mode_t (*)(mode_t);
    static const auto real = reinterpret_cast<Umask>(dlsym(RTLD_NEXT, "umask"));
    ++g_umaskCalls;
    return real(mask);
}

namespace {

using namespace std::chrono_literals;

// The records the station reports as sent, which its owner archives.
class SentRecords : public CvUnaryFunction<void, CMsg&> {
public:
    void Invoke(CMsg& msg) override {
        std::lock_guard guard(m_lock);
        m_records.push_back(msg);
    }
    std::vector<CMsg> Records() {
        std::lock_guard guard(m_lock);
        return m_records;
    }

private:
    std::mutex m_lock;
    std::vector<CMsg> m_records;
};

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
        station->SetSentReceiver(&sent);
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
    SentRecords sent;
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

std::string Repeat(const std::string& unit, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += unit;
    }
    return text;
}

// A personal message goes out cut to 1600 characters; the record filed as
// sent must hold what the recipient got, not the longer original.
TEST_F(ControlFixture, ALongTextIsArchivedAsItWentOut) {
    const struct {
        std::string text;
        std::string wire;
    } cases[] = {
        {Repeat("x", 2000), Repeat("x", 1600)},
        {Repeat("\xC3\xA9", 1700), Repeat("\xC3\xA9", 1600)},  // characters, not bytes
        {Repeat("z", 1600), Repeat("z", 1600)},
    };
    size_t count = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(count);
        auto result = CvControlClient::Send({MsgPersonal, "BOB", "", c.text}, path, 20000);
        ASSERT_EQ(result.status, CvControlClient::Status::Replied) << result.error;
        EXPECT_EQ(result.reply.code, SendResultSuccess);
        ++count;
        ASSERT_TRUE(bob.inbox.WaitFor(count));
        // Compared as sizes and flags: a failure must not print 3 KB texts.
        const std::string received = bob.inbox.Messages().back().text;
        EXPECT_EQ(received.size(), c.wire.size());
        EXPECT_TRUE(received == c.wire);
        const auto records = sent.Records();
        ASSERT_EQ(records.size(), count);
        EXPECT_EQ(records.back().text.size(), c.wire.size());
        EXPECT_TRUE(records.back().text == c.wire);
    }
}

// An unfragmented broadcast goes out cut to the broadcast limit in force
// when it is sent, which the user may have changed since the station started
// (it started with 350 characters in parts); the record holds what went out.
TEST_F(ControlFixture, ABroadcastIsArchivedAsItWentOutUnderTheLimitsInForce) {
    const struct {
        bool fragment;
        uint32_t limit;
        size_t length;
        size_t wire;
    } cases[] = {
        {false, 128, 200, 128},
        {false, 350, 400, 350},
        {false, 128, 100, 100},
    };
    size_t count = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        station->SetFragmentEnabled(c.fragment);
        station->SetMaxBroadcastLength(c.limit);
        const std::string text = Repeat("b", c.length);
        auto result = CvControlClient::Send({MsgBroadcast, "WG", "", text}, path, 20000);
        ASSERT_EQ(result.status, CvControlClient::Status::Replied) << result.error;
        EXPECT_EQ(result.reply.code, SendResultSuccess);
        ++count;
        ASSERT_TRUE(bob.inbox.WaitFor(count));
        EXPECT_EQ(bob.inbox.Messages().back().text.size(), c.wire);
        const auto records = sent.Records();
        ASSERT_EQ(records.size(), count);
        EXPECT_EQ(records.back().text.size(), c.wire);
        EXPECT_TRUE(records.back().text == bob.inbox.Messages().back().text);
    }
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

TEST_F(ControlFixture, TheSocketIsPrivateWithoutTouchingTheUmask) {
    server.reset();
    const mode_t old = umask(0);  // the socket's mode must not come from the mask
    g_umaskCalls = 0;
    CvControlServer fresh(*station, path);
    std::string error;
    const bool opened = fresh.Open(&error);
    const int calls = g_umaskCalls;
    umask(old);
    ASSERT_TRUE(opened) << error;
    EXPECT_EQ(calls, 0);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
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

// Another user who reaches the socket (here a server's socket in a folder
// anybody may pass, with a mode that lets anybody in) is refused by the
// server itself: it checks the peer's user id.
TEST_F(ControlFixture, AnotherUserIsRefused) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    constexpr uid_t kNobody = 65534;
    server.reset();
    std::optional<TempDir> open;
    {
        // The usual temporary folder may be closed to others.
        ScopedEnv shared("TMPDIR", "/var/tmp");
        open.emplace();
    }
    ASSERT_EQ(chmod(open->Path().c_str(), 0711), 0);
    path = open->File("control");
    server = std::make_unique<CvControlServer>(*station, path);
    std::string error;
    ASSERT_TRUE(server->Open(&error)) << error;
    server->Start();
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);

    // Everything the child needs is made before the fork: a forked copy of a
    // process with threads may only make plain system calls.
    const std::string request =
        CvControlProtocol::EncodeRequest({MsgPersonal, "BOB", "", "from nobody"});
    sockaddr_un address{};
    ASSERT_TRUE(CvControlSocket::MakeAddress(path, address));
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        auto fail = [&](const char* why) {
            (void)!write(pipeFds[1], why, strlen(why));
            _exit(1);
        };
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
            fail("(could not become nobody)");
        }
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            fail("(could not connect)");
        }
        // The server may refuse and hang up before the request is written.
        (void)!send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char reply[256];
        ssize_t got = 0;
        while (got < static_cast<ssize_t>(sizeof reply)) {
            const ssize_t n = read(fd, reply + got, sizeof reply - got);
            if (n <= 0) {
                break;
            }
            got += n;
        }
        (void)!write(pipeFds[1], reply, static_cast<size_t>(got));
        _exit(0);
    }
    close(pipeFds[1]);
    std::string reply;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        reply.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << reply;
    EXPECT_EQ(reply, "ERROR permission%20denied\n");

    // The owner is still served, and BOB got nothing before its message.
    auto owner = CvControlClient::Send({MsgPersonal, "BOB", "", "from the owner"}, path, 10000);
    ASSERT_EQ(owner.status, CvControlClient::Status::Replied) << owner.error;
    EXPECT_EQ(owner.reply.code, SendResultSuccess);
    ASSERT_TRUE(bob.inbox.WaitFor(1));
    EXPECT_EQ(bob.inbox.Messages()[0].text, "from the owner");
    server.reset();  // before its folder goes
}

TEST_F(ControlFixture, StoppingTheStationAnswersAWaitingRequest) {
    station->Stop();
    auto late = CvControlClient::Send({MsgPersonal, "BOB", "", "x"}, path, 10000);
    ASSERT_EQ(late.status, CvControlClient::Status::Replied);
    EXPECT_EQ(late.reply.error, "the station is stopping");
}

}  // namespace
