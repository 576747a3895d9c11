// Arrival benchmark: messages arriving while the archive window is open on a
// search that no index helps (two characters, so every message is checked),
// over an archive of COUNT messages (default 1 000 000), beside the same run
// over 1 000 messages (the baseline). A first pass over 1 000 messages warms
// the process and is not reported.
//
// The desktop program's hub runs on the fake desktop the tests use. The
// archive window opens on the dialogue list, the search text is typed, and
// as soon as its pause ends (the search starts, on the archive's reader
// thread) a transport thread hands the hub MESSAGES messages at RATE a
// second, as the station's receive threads do. Measured on the user
// interface thread, per message:
// - the longest stall: the longest time the thread did not get back to its
//   event loop (a 1 ms timer's late firings) from the message's arrival to
//   the next one's;
// - filed: from its arrival to the commit of its archive row;
// - popup: from that commit to the first paint of the popup that counts it
//   (negative when the popup showed it first).
// Medians and the worst of each, the time the search took, and whether the
// limits hold: a stall of at most 50 ms and a popup at most 100 ms after
// filing, at every message.
//
// Usage: corvane-archive-arrival-bench [--dir DIR] [--messages N] [--rate R]
//                                      [--search TEXT] [COUNT]
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "messaging/CMsg.h"
#include "storage/CvDbFollower.h"
#include "storage/CvMsgArchive.h"
#include "support/FakeDesktop.h"
#include "support/MainFormStart.h"
#include "tools/bench/ArchiveBenchFixture.h"
#include "ui/CHistoryForm.h"
#include "ui/CMainForm.h"
#include "ui/CPopupMsgForm.h"
#include "ui/CvResources.h"
#include "widgets/CvEdit.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTimeoutMs = 120000;

double Ms(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// When each archive row was committed (the user interface thread files).
class FiledWatch : public CvDbFollower {
public:
    void RowsInserted(const std::u16string& table, const std::vector<int64_t>& rowids) override {
        if (table != u"messages") {
            return;
        }
        const Clock::time_point now = Clock::now();
        for (const int64_t rid : rowids) {
            filed[rid] = now;
        }
    }
    void RowsChanged() override {}
    std::map<int64_t, Clock::time_point> filed;
};

// The user interface thread's stalls (a 1 ms timer firing late), the paints
// of the popup with the number of messages its list held, and the end of the
// search field's pause.
class LoopWatch : public QObject {
public:
    explicit LoopWatch(CMainForm& main) : m_main(main) {
        m_tick.setTimerType(Qt::PreciseTimer);
        m_tick.setInterval(1);
        connect(&m_tick, &QTimer::timeout, this, [this] {
            const Clock::time_point now = Clock::now();
            stalls.emplace_back(m_last, now - m_last);
            m_last = now;
        });
    }
    void Start() {
        m_last = Clock::now();
        m_tick.start();
    }
    void Stop() { m_tick.stop(); }

    // (start of the gap, its length)
    std::vector<std::pair<Clock::time_point, Clock::duration>> stalls;
    // (paint time, messages in the popup list)
    std::vector<std::pair<Clock::time_point, int>> popupPaints;
    Clock::time_point pauseEnd{};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            auto* widget = qobject_cast<QWidget*>(watched);
            CPopupMsgForm* popup = m_main.Popup();
            if (widget && popup && widget->window() == popup) {
                popupPaints.emplace_back(Clock::now(), m_main.PopupList().Count());
            }
        } else if (event->type() == QEvent::Timer) {
            const auto* timer = qobject_cast<QTimer*>(watched);
            if (timer != nullptr && timer->isSingleShot() &&
                timer->interval() == CHistoryForm::kSearchDelayMs) {
                pauseEnd = Clock::now();
            }
        }
        return false;
    }

private:
    CMainForm& m_main;
    QTimer m_tick;
    Clock::time_point m_last{};
};

struct Stats {
    double median = 0;
    double worst = 0;
};

Stats Summary(std::vector<double> values) {
    Stats stats;
    if (values.empty()) {
        return stats;
    }
    std::sort(values.begin(), values.end());
    stats.median = values[values.size() / 2];
    stats.worst = values.back();
    return stats;
}

struct Figures {
    double search = -1;  // from the end of the pause to the result shown
    Stats stall;
    Stats filed;
    Stats popup;
    int missing = 0;  // messages never filed or never shown
};

struct Options {
    std::string dir;
    int messages = 100;
    int rate = 10;
    std::string search = "re";
};

bool Measure(const std::string& path, int count, const Options& options, Figures& figures) {
    std::filesystem::remove(path);
    if (!GenerateBenchArchive(path, count)) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        return false;
    }
    FakeDesktop desktop;
    // Opening indexes the freshly written rows (once per archive); not timed.
    std::unique_ptr<CMainForm> main = StartMainForm(
        desktop,
        {"\"MsgArcUseDatabaseFile\"=dword:00000001", "\"MsgArcDatabaseFile\"=\"" + path + "\""});
    if (!main || !main->Archive()) {
        std::fprintf(stderr, "the main window did not start with its archive\n");
        return false;
    }
    CvMsgArchive& archive = *main->Archive();
    LoopWatch watch(*main);
    qApp->installEventFilter(&watch);
    FiledWatch filed;
    archive.Database().AddFollower(&filed);

    main->Command(CMainForm::kCmdReadMessages);
    CHistoryForm* form = main->ArchiveWindow();
    if (!form || !QTest::qWaitFor([&] { return !archive.Dialogues().IsSearching(); }, kTimeoutMs)) {
        std::fprintf(stderr, "the archive window did not show its list\n");
        return false;
    }
    QTest::keyClicks(form->SearchField(), QString::fromStdString(options.search));
    if (!QTest::qWaitFor([&] { return watch.pauseEnd != Clock::time_point(); }, kTimeoutMs)) {
        return false;
    }

    // The messages come while the search runs, and after.
    std::vector<Clock::time_point> arrived(static_cast<size_t>(options.messages));
    std::atomic<int> sent{0};
    watch.Start();
    std::thread transport([&] {
        const auto period = std::chrono::microseconds(1000000 / std::max(1, options.rate));
        Clock::time_point next = Clock::now();
        for (int i = 0; i < options.messages; ++i) {
            std::this_thread::sleep_until(next);
            next += period;
            CMsg msg;
            msg.type = MsgPersonal;
            msg.sender = BenchPartner(i % kBenchPartners);
            msg.recipient = "ME";
            msg.address = "ME";
            msg.text = "arrival " + std::to_string(i) + " report";
            arrived[static_cast<size_t>(i)] = Clock::now();
            main->ReceivedBinding()(msg);
            ++sent;
        }
    });
    const std::string wanted = "%" + options.search + "%";
    Clock::time_point searched{};
    const bool done = QTest::qWaitFor(
        [&] {
            if (searched == Clock::time_point() && !archive.Dialogues().IsSearching() &&
                archive.Dialogues().Pattern().AsUtf8() == wanted) {
                searched = Clock::now();
            }
            return sent == options.messages && static_cast<int>(filed.filed.size()) >= options.messages &&
                   !archive.Dialogues().IsSearching() &&
                   archive.Dialogues().Pattern().AsUtf8() == wanted &&
                   !watch.popupPaints.empty() && watch.popupPaints.back().second >= options.messages;
        },
        kTimeoutMs);
    // A little longer, so that the last message's stall window closes.
    QTest::qWait(1000 / std::max(1, options.rate));
    watch.Stop();
    transport.join();
    qApp->removeEventFilter(&watch);
    archive.Database().RemoveFollower(&filed);
    if (!done) {
        std::fprintf(stderr, "not every message was filed and shown within %d s\n",
                     kTimeoutMs / 1000);
    }

    // Which row is which message.
    std::map<int, Clock::time_point> filedAt;
    for (const auto& [rid, at] : filed.filed) {
        CvDbQuery text;
        text.rawSql = u"SELECT message FROM messages WHERE rid = :rid";
        text.parameters[u"rid"] = CvDbValue::FromInteger(rid);
        std::vector<CvDbSrvMemCursor2::Row> rows;
        if (archive.Database().RunQuery(text, rows) && !rows.empty()) {
            const std::string message = rows[0][0].AsUtf8();
            if (message.rfind("arrival ", 0) == 0) {
                filedAt[std::atoi(message.c_str() + 8)] = at;
            }
        }
    }
    std::vector<double> stalls;
    std::vector<double> filing;
    std::vector<double> popups;
    for (int i = 0; i < options.messages; ++i) {
        const Clock::time_point from = arrived[static_cast<size_t>(i)];
        const Clock::time_point to =
            i + 1 < options.messages ? arrived[static_cast<size_t>(i + 1)] : from + std::chrono::milliseconds(1000 / std::max(1, options.rate));
        Clock::duration longest{};
        for (const auto& [start, gap] : watch.stalls) {
            // A gap counts for the message whose time it overlaps.
            if (start + gap > from && start < to) {
                longest = std::max(longest, gap);
            }
        }
        // The timer's own period is no stall.
        stalls.push_back(std::max(0.0, Ms(longest) - 1.0));
        const auto filedIt = filedAt.find(i);
        const auto shown = std::find_if(watch.popupPaints.begin(), watch.popupPaints.end(),
                                        [i](const auto& paint) { return paint.second > i; });
        if (filedIt == filedAt.end() || shown == watch.popupPaints.end()) {
            ++figures.missing;
            continue;
        }
        filing.push_back(Ms(filedIt->second - from));
        popups.push_back(Ms(shown->first - filedIt->second));
    }
    figures.stall = Summary(stalls);
    figures.filed = Summary(filing);
    figures.popup = Summary(popups);
    figures.search = searched == Clock::time_point() ? -1 : Ms(searched - watch.pauseEnd);
    return done;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    CvResources::Init();
    Options options;
    options.dir = std::filesystem::temp_directory_path().string();
    int count = 1000000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dir" && i + 1 < argc) {
            options.dir = argv[++i];
        } else if (arg == "--messages" && i + 1 < argc) {
            options.messages = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--rate" && i + 1 < argc) {
            options.rate = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--search" && i + 1 < argc) {
            options.search = argv[++i];
        } else if (std::atoi(arg.c_str()) > 0) {
            count = std::atoi(arg.c_str());
        } else {
            std::fprintf(stderr,
                         "usage: corvane-archive-arrival-bench [--dir DIR] [--messages N] "
                         "[--rate R] [--search TEXT] [COUNT]\n");
            return 64;
        }
    }
    constexpr int kBaselineCount = 1000;
    Figures warmUp;
    Figures small;
    Figures full;
    const std::string smallPath = options.dir + "/corvane-arrival-bench-baseline.db";
    const std::string fullPath =
        options.dir + "/corvane-arrival-bench-" + std::to_string(count) + ".db";
    const bool measured = Measure(smallPath, kBaselineCount, options, warmUp) &&
                          Measure(smallPath, kBaselineCount, options, small) &&
                          Measure(fullPath, count, options, full);
    std::printf("%d messages at %d a second, archive window open on the search \"%s\"\n",
                options.messages, options.rate, options.search.c_str());
    std::printf("%10s %10s %22s %22s %22s %8s\n", "archive", "search ms", "GUI stall ms med/worst",
                "filed ms med/worst", "popup ms med/worst", "missing");
    for (const auto& [n, f] : {std::pair{kBaselineCount, small}, std::pair{count, full}}) {
        std::printf("%10d %10.0f %10.1f / %-9.1f %10.1f / %-9.1f %10.1f / %-9.1f %8d\n", n,
                    f.search, f.stall.median, f.stall.worst, f.filed.median, f.filed.worst,
                    f.popup.median, f.popup.worst, f.missing);
    }
    std::printf("%10s ratios to %d messages (worst): stall %.2fx, filed %.2fx, popup %.2fx\n", "",
                kBaselineCount, full.stall.worst / std::max(0.1, small.stall.worst),
                full.filed.worst / std::max(0.1, small.filed.worst),
                full.popup.worst / std::max(0.1, small.popup.worst));
    std::filesystem::remove(smallPath);
    if (!std::getenv("CORVANE_BENCH_KEEP")) {
        std::filesystem::remove(fullPath);
    }
    const bool holds = measured && full.missing == 0 && full.stall.worst <= 50 &&
                       full.popup.worst <= 100;
    std::printf("limits (stall <= 50 ms, popup <= 100 ms after filing, every message): %s\n",
                holds ? "hold" : "NOT HELD");
    return holds ? 0 : 1;
}
