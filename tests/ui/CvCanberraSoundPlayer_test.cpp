// Sounds never hold up the caller: a missing file, or no sound server at
// all, is counted as refused and stays silent; the player ends promptly.
//
// The sound server here is a socket of the test's that takes the player's
// connection and then says nothing, so the player's thread stays stuck in
// its play for as long as the test likes, whatever the machine's speed.
#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "support/TestEnv.h"
#include "ui/shell/CvCanberraSoundPlayer.h"

namespace {

// Listens on a Unix socket, accepts one connection and keeps it open, silent,
// until released or until it gives up after `patienceMs`.
class SilentSoundServer {
public:
    SilentSoundServer(const std::string& path, int patienceMs) {
        m_listen = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        m_ready = m_listen >= 0 &&
                  bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  listen(m_listen, 4) == 0;
        if (m_ready) {
            m_thread = std::thread([this, patienceMs] { Serve(patienceMs); });
        }
    }
    ~SilentSoundServer() {
        Release();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_listen >= 0) {
            close(m_listen);
        }
    }

    bool Ready() const { return m_ready; }
    bool Connected() const { return m_connected; }
    bool GaveUp() const { return m_gaveUp; }
    // Hangs up on the player.
    void Release() { m_release = true; }

private:
    void Serve(int patienceMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
        int client = -1;
        while (!m_release && std::chrono::steady_clock::now() < deadline) {
            if (client < 0) {
                pollfd item{m_listen, POLLIN, 0};
                if (poll(&item, 1, 10) == 1) {
                    client = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                    m_connected = client >= 0;
                }
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        m_gaveUp = !m_release;
        if (client >= 0) {
            close(client);
        }
        shutdown(m_listen, SHUT_RDWR);
    }

    int m_listen = -1;
    bool m_ready = false;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_gaveUp{false};
    std::atomic<bool> m_release{false};
    std::thread m_thread;
};

}  // namespace

class CanberraSoundPlayerTest : public QObject {
    Q_OBJECT

private slots:
    void missingFileIsSilentAndTheCallerNeverWaits() {
        TempDir dir;
        // The player's sound server is the silent one, and only it.
        ScopedEnv driver("CANBERRA_DRIVER", "pulse");
        ScopedEnv server("PULSE_SERVER", "unix:" + dir.File("native"));
        ScopedEnv cookie("PULSE_COOKIE", dir.File("cookie"));
        ScopedEnv runtime("PULSE_RUNTIME_PATH", dir.File("runtime"));
        constexpr int kPatienceMs = 20000;
        SilentSoundServer silent(dir.File("native"), kPatienceMs);
        QVERIFY(silent.Ready());

        auto player = std::make_unique<CvCanberraSoundPlayer>();
        player->PlaySoundFile("/nonexistent/corvane-test.wav");
        player->PlaySoundFile("");  // plays nothing at all
        // Back here while the server still holds the play up: the caller did
        // not wait for it (a caller that did would be back only after the
        // server gave up).
        QVERIFY(!silent.GaveUp());
        QTRY_VERIFY_WITH_TIMEOUT(silent.Connected(), 10000);
        QVERIFY(!silent.GaveUp());
        QCOMPARE(player->Failed() + player->Played(), 0);  // still in its play

        silent.Release();
        QTRY_COMPARE_WITH_TIMEOUT(player->Failed(), 1, 10000);
        QCOMPARE(player->Played(), 0);
        QVERIFY(!silent.GaveUp());
        using Clock = std::chrono::steady_clock;
        const auto stop = Clock::now();
        player.reset();
        QVERIFY(Clock::now() - stop < std::chrono::seconds(5));
    }
};

QTEST_MAIN(CanberraSoundPlayerTest)
#include "CvCanberraSoundPlayer_test.moc"
