#include "platform/CvPortDiagnosis.h"

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Finding = CvPortDiagnosis::Finding;

constexpr uint32_t kLoopback = 0x7F000001;

// A socket bound without SO_REUSEADDR, as another NetBIOS daemon holds its
// ports; -1 on failure.
int Hold(bool tcp, uint32_t address, uint16_t port) {
    const int fd = socket(AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
    sockaddr_in endpoint{};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(port);
    endpoint.sin_addr.s_addr = htonl(address);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint) != 0 ||
        (tcp && listen(fd, 1) != 0)) {
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    return fd;
}

// A port nobody uses at the moment.
uint16_t FreePort(bool tcp) {
    const int fd = Hold(tcp, kLoopback, 0);
    sockaddr_in endpoint{};
    socklen_t length = sizeof endpoint;
    getsockname(fd, reinterpret_cast<sockaddr*>(&endpoint), &length);
    close(fd);
    return ntohs(endpoint.sin_port);
}

// Runs `body` in a child process and returns what it wrote to the pipe it
// gets, once it wrote `bytes` of it or closed it (10 s at most); the child is
// killed after, or, when `pid` is given, left to the caller.
template <typename Body>
std::string InChild(Body body, size_t bytes, pid_t* pid = nullptr) {
    int channel[2];
    if (pipe(channel) != 0) {
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        body(channel[1]);
        close(channel[1]);  // the parent reads to the end
        for (;;) {
            pause();  // keeps what it holds until killed
        }
    }
    close(channel[1]);
    std::string got;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.size() < bytes) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd item{channel[0], POLLIN, 0};
        if (left <= 0 || poll(&item, 1, static_cast<int>(left)) <= 0) {
            break;
        }
        const ssize_t n = read(channel[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        got.append(buffer, static_cast<size_t>(n));
    }
    close(channel[0]);
    if (pid != nullptr) {
        *pid = child;
    } else {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    return got;
}

void WriteAll(int fd, const std::string& text) {
    (void)!write(fd, text.data(), text.size());
}

// Another program holding the name port and the session port: the finding
// names the ports and the program, and the free datagram port is no finding.
TEST(CvPortDiagnosis, APortHeldByAnotherProgramNamesTheProgram) {
    const CvNbtPorts ports{FreePort(false), FreePort(false), FreePort(true)};
    pid_t holder = 0;
    const std::string ready = InChild(
        [&](int out) {
            const bool held =
                Hold(false, 0, ports.name) >= 0 && Hold(true, kLoopback, ports.session) >= 0;
            WriteAll(out, held ? "1" : "0");
        },
        1, &holder);
    ASSERT_EQ(ready, "1");
    const auto findings = CvPortDiagnosis::Diagnose(ports, {kLoopback});
    const std::string text = CvPortDiagnosis::Describe(findings);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);

    ASSERT_EQ(findings.size(), 2u) << text;
    const std::string byHolder = " (pid " + std::to_string(holder) + ")";
    EXPECT_EQ(findings[0].kind, Finding::Kind::InUse);
    EXPECT_FALSE(findings[0].tcp);
    EXPECT_EQ(findings[0].port, ports.name);
    ASSERT_EQ(findings[0].holders.size(), 1u);
    EXPECT_NE(findings[0].holders[0].find(byHolder), std::string::npos);
    EXPECT_EQ(findings[1].kind, Finding::Kind::InUse);
    EXPECT_TRUE(findings[1].tcp);
    EXPECT_EQ(findings[1].address, kLoopback);
    EXPECT_NE(text.find("UDP port " + std::to_string(ports.name) +
                        " is held by another program: " + findings[0].holders[0]),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("TCP port " + std::to_string(ports.session) +
                        " on 127.0.0.1 is held by another program: "),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find(std::to_string(ports.datagram)), std::string::npos) << text;
}

// Once the stack has opened a port itself, that is no finding.
TEST(CvPortDiagnosis, APortHeldByThisProcessIsNoFinding) {
    const CvNbtPorts ports{FreePort(false), FreePort(false), FreePort(true)};
    const int own = Hold(false, 0, ports.name);
    ASSERT_GE(own, 0);
    EXPECT_EQ(CvPortDiagnosis::Diagnose(ports, {kLoopback}), std::vector<Finding>{});
    close(own);
}

// The standard ports as a normal user: the answer is the permission and its
// cure, not "held by another program".
TEST(CvPortDiagnosis, ANormalUserLacksThePermissionForTheStandardPorts) {
    std::ifstream sysctl("/proc/sys/net/ipv4/ip_unprivileged_port_start");
    unsigned start = 1024;
    sysctl >> start;
    if (start <= 137) {
        GTEST_SKIP() << "this system lets every user bind port 137";
    }
    const std::string text = InChild(
        [](int out) {
            if (geteuid() == 0 &&
                (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0)) {
                WriteAll(out, "cannot become a normal user\n");
                return;
            }
            const auto findings = CvPortDiagnosis::Diagnose(CvNbtPorts{}, {kLoopback});
            WriteAll(out, CvPortDiagnosis::Describe(findings) + "\n");
        },
        static_cast<size_t>(-1));
    if (text.find("cap_net_bind_service") == std::string::npos && geteuid() != 0) {
        GTEST_SKIP() << "this user may bind privileged ports: " << text;
    }
    EXPECT_EQ(text,
              "no permission to open UDP port 137, UDP port 138, TCP port 139 on 127.0.0.1: "
              "ports below " +
                  std::to_string(start) +
                  " need the capability cap_net_bind_service or a lower "
                  "net.ipv4.ip_unprivileged_port_start (see \"Running on the standard NetBIOS "
                  "ports without root\" in the README)\n");
}

TEST(CvPortDiagnosis, DescribesEachKindOfFinding) {
    Finding hidden;
    hidden.kind = Finding::Kind::InUse;
    hidden.tcp = true;
    hidden.port = 139;
    hidden.address = 0xC0000202;
    hidden.error = EADDRINUSE;
    Finding other;
    other.port = 138;
    other.error = EMFILE;
    EXPECT_EQ(CvPortDiagnosis::Describe({hidden, other}),
              "TCP port 139 on 192.0.2.2 is held by another program (only root can see which: "
              "sudo ss -lntup 'sport = :139'); cannot open UDP port 138: " +
                  std::string(strerror(EMFILE)));
    EXPECT_EQ(CvPortDiagnosis::Describe({}), "");
}

}  // namespace
