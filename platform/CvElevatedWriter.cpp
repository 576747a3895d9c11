#include "platform/CvElevatedWriter.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/CvElevatedProtocol.h"

extern char** environ;

namespace {

// Long enough for the user to answer the authentication dialog.
constexpr int kGreetingTimeoutMs = 300000;
constexpr int kReplyTimeoutMs = 30000;
constexpr const char* kHelperName = "corvane-elevated-writer";

std::string HelperPath() {
    if (const char* path = std::getenv("CORVANE_ELEVATED_WRITER"); path != nullptr && *path) {
        // pkexec only starts programs named by an absolute path.
        char* absolute = realpath(path, nullptr);
        std::string result = absolute != nullptr ? absolute : "";
        std::free(absolute);
        return result;
    }
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        return {};
    }
    std::string exe(buffer.data(), static_cast<size_t>(length));
    return exe.substr(0, exe.find_last_of('/') + 1) + kHelperName;
}

// Writes without being killed by SIGPIPE when the helper has gone.
bool WriteAll(int fd, std::string_view data) {
    sigset_t pipeSet;
    sigset_t oldSet;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &oldSet);
    bool ok = true;
    while (!data.empty()) {
        const ssize_t put = write(fd, data.data(), data.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EPIPE) {
                const timespec zero{};
                sigtimedwait(&pipeSet, nullptr, &zero);
            }
            ok = false;
            break;
        }
        data.remove_prefix(static_cast<size_t>(put));
    }
    pthread_sigmask(SIG_SETMASK, &oldSet, nullptr);
    return ok;
}

class CvPkexecWriter : public CvElevatedWriter {
public:
    CvPkexecWriter(pid_t pid, int toHelper, int fromHelper)
        : m_pid(pid), m_toHelper(toHelper), m_fromHelper(fromHelper) {}

    ~CvPkexecWriter() override {
        if (m_toHelper >= 0) {
            WriteAll(m_toHelper, "quit\n");
            close(m_toHelper);
        }
        close(m_fromHelper);
        // The helper ends at quit or end of input; pkexec runs as root, so a
        // stuck one cannot be killed from here and is left behind.
        for (int i = 0; i < 500; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) != 0) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, WNOHANG);
    }

    bool Greeted() {
        const auto line = ReadLine(kGreetingTimeoutMs);
        return line && *line == CvElevatedProtocol::kGreeting;
    }

    bool SetStringValue(const std::string& keyPath, const std::string& name,
                        const std::string& value) override {
        return Request({"set-string", keyPath, name, value});
    }
    bool SetDwordValue(const std::string& keyPath, const std::string& name,
                       uint32_t value) override {
        return Request({"set-dword", keyPath, name, std::to_string(value)});
    }
    bool DeleteValue(const std::string& keyPath, const std::string& name) override {
        return Request({"delete-value", keyPath, name});
    }

private:
    bool Request(const std::vector<std::string>& fields) {
        if (m_toHelper < 0) {
            return false;
        }
        const std::string line = CvElevatedProtocol::FormatLine(fields);
        if (line.size() > CvElevatedProtocol::kMaxLine) {
            return false;
        }
        if (!WriteAll(m_toHelper, line + "\n")) {
            Broken();
            return false;
        }
        const auto reply = ReadLine(kReplyTimeoutMs);
        if (!reply) {
            Broken();
            return false;
        }
        return *reply == "ok";
    }

    // After a lost reply the replies would no longer match the requests.
    void Broken() {
        if (m_toHelper >= 0) {
            close(m_toHelper);
            m_toHelper = -1;
        }
    }

    std::optional<std::string> ReadLine(int timeoutMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto newline = m_buffer.find('\n');
            if (newline != std::string::npos) {
                std::string line = m_buffer.substr(0, newline);
                m_buffer.erase(0, newline + 1);
                return line;
            }
            if (m_buffer.size() > CvElevatedProtocol::kMaxLine) {
                return std::nullopt;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return std::nullopt;
            }
            pollfd pfd{m_fromHelper, POLLIN, 0};
            const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0) {
                return std::nullopt;
            }
            char chunk[1024];
            const ssize_t got = read(m_fromHelper, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return std::nullopt;
            }
            m_buffer.append(chunk, static_cast<size_t>(got));
        }
    }

    pid_t m_pid;
    int m_toHelper;
    int m_fromHelper;
    std::string m_buffer;
};

}  // namespace

std::unique_ptr<CvElevatedWriter> ObtainElevatedWriter() {
    const std::string helper = HelperPath();
    if (helper.empty() || access(helper.c_str(), X_OK) != 0) {
        return nullptr;
    }
    const char* pkexecEnv = std::getenv("CORVANE_PKEXEC");
    const std::string pkexec = pkexecEnv != nullptr && *pkexecEnv ? pkexecEnv : "pkexec";

    int toHelper[2];
    int fromHelper[2];
    if (pipe2(toHelper, O_CLOEXEC) != 0) {
        return nullptr;
    }
    if (pipe2(fromHelper, O_CLOEXEC) != 0) {
        close(toHelper[0]);
        close(toHelper[1]);
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toHelper[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromHelper[1], STDOUT_FILENO);
    std::vector<char*> argv{const_cast<char*>(pkexec.c_str()), const_cast<char*>(helper.c_str()),
                            nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, pkexec.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toHelper[0]);
    close(fromHelper[1]);
    if (rc != 0) {
        close(toHelper[1]);
        close(fromHelper[0]);
        return nullptr;
    }
    // pkexec exits without starting the helper when the user declines, which
    // ends the output before the greeting.
    auto writer = std::make_unique<CvPkexecWriter>(pid, toHelper[1], fromHelper[0]);
    if (!writer->Greeted()) {
        return nullptr;
    }
    return writer;
}
