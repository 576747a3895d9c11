// Archive window benchmark: the desktop program's archive window over an
// archive of COUNT messages (default 1 000 000), beside the same window over
// 1 000 messages measured in the same run (the baseline). A first pass over
// 1 000 messages warms the process (fonts, styles, the first window and
// statements of their kind) and is not reported, so the baseline does not
// carry those one-time costs. Timed, each until the list it changes has been
// painted: opening the window from the tray menu's command; a search for a
// word from the end of its 500 ms pause after the last key (the pause's
// timer firing; the pause is not counted); opening the newest conversation;
// scrolling to that conversation's oldest message. Then the resident memory
// of the process with the window open (the earlier passes included). Each
// archive file has just been written and indexed, so the page cache is warm.
//
// Usage: corvane-archive-window-bench [--dir DIR] [COUNT]
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "support/FakeDesktop.h"
#include "support/MainFormStart.h"
#include "tools/bench/ArchiveBenchFixture.h"
#include "ui/CHistoryForm.h"
#include "ui/CMainForm.h"
#include "ui/CvResources.h"
#include "widgets/CvDataSetGrid2.h"
#include "widgets/CvEdit.h"

namespace {

constexpr int kTimeoutMs = 60000;

// Notes which widgets have been painted since the last Reset, and when the
// search field's pause ended: its single-shot timer of kSearchDelayMs fired
// (the search runs right after, in the same event).
class PaintWatch : public QObject {
public:
    PaintWatch() { m_clock.start(); }
    void Reset() {
        m_painted.clear();
        m_pauseEndNs = -1;
    }
    bool Painted(QWidget* widget) const { return m_painted.count(widget) != 0; }
    // Nanoseconds on Now()'s clock; -1 until the pause has ended.
    qint64 PauseEnd() const { return m_pauseEndNs; }
    qint64 Now() const { return m_clock.nsecsElapsed(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            m_painted.insert(watched);
        } else if (event->type() == QEvent::Timer) {
            const auto* timer = qobject_cast<QTimer*>(watched);
            if (timer != nullptr && timer->isSingleShot() &&
                timer->interval() == CHistoryForm::kSearchDelayMs) {
                m_pauseEndNs = Now();
                m_painted.clear();  // only paints after the search count
            }
        }
        return false;
    }

private:
    QElapsedTimer m_clock;
    std::set<QObject*> m_painted;
    qint64 m_pauseEndNs = -1;
};

// Milliseconds from `action` until `target()` has been painted; -1 when that
// does not happen within the time-out.
double UntilPainted(PaintWatch& watch, const std::function<void()>& action,
                    const std::function<QWidget*()>& target) {
    watch.Reset();
    QElapsedTimer timer;
    timer.start();
    action();
    while (timer.elapsed() < kTimeoutMs) {
        QWidget* widget = target();
        if (widget && watch.Painted(widget)) {
            return static_cast<double>(timer.nsecsElapsed()) / 1e6;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return -1;
}

// Milliseconds from the end of the search field's pause until `target()`
// has been painted after it; -1 when that does not happen within the
// time-out. The pause itself is not counted.
double SearchUntilPainted(PaintWatch& watch, const std::function<QWidget*()>& target) {
    watch.Reset();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < CHistoryForm::kSearchDelayMs + kTimeoutMs) {
        QWidget* widget = target();
        if (watch.PauseEnd() >= 0 && widget && watch.Painted(widget)) {
            return static_cast<double>(watch.Now() - watch.PauseEnd()) / 1e6;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return -1;
}

long ResidentKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::atol(line.c_str() + std::string(field).size());
        }
    }
    return -1;
}

struct Figures {
    double open = -1;
    double search = -1;
    double conversation = -1;
    double scroll = -1;
    int dialogues = 0;
    int messages = 0;
    long rssKiB = -1;
};

bool Measure(const std::string& path, int count, PaintWatch& watch, Figures& figures) {
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
    if (!main) {
        std::fprintf(stderr, "the main window did not start\n");
        return false;
    }
    auto form = [&main] { return main->ArchiveWindow(); };
    auto dialogueList = [&form]() -> QWidget* {
        return form() ? form()->DialogueGrid()->List()->viewport() : nullptr;
    };
    auto messageList = [&form]() -> QWidget* {
        return form() ? form()->MessageGrid()->List()->viewport() : nullptr;
    };

    figures.open = UntilPainted(
        watch, [&main] { main->Command(CMainForm::kCmdReadMessages); }, dialogueList);
    if (!form()) {
        return false;
    }
    QTest::keyClicks(form()->SearchField(), "report");
    figures.search = SearchUntilPainted(watch, dialogueList);
    figures.dialogues = form()->DialogueGrid()->RowCount();
    emit form()->SearchField()->buttonClicked();
    QCoreApplication::processEvents();

    form()->DialogueGrid()->SetCurrentRow(0);
    figures.conversation = UntilPainted(
        watch, [&form] { form()->Command(CHistoryForm::kCmdOpenDialogue); }, messageList);
    figures.messages = form()->MessageGrid()->RowCount();
    figures.scroll = UntilPainted(
        watch, [&form] { form()->MessageGrid()->List()->scrollToBottom(); }, messageList);
    figures.rssKiB = ResidentKiB("VmRSS:");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    CvResources::Init();
    std::string dir = std::filesystem::temp_directory_path().string();
    int count = 1000000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (std::atoi(arg.c_str()) > 0) {
            count = std::atoi(arg.c_str());
        } else {
            std::fprintf(stderr, "usage: corvane-archive-window-bench [--dir DIR] [COUNT]\n");
            return 64;
        }
    }
    PaintWatch watch;
    app.installEventFilter(&watch);

    constexpr int kBaselineCount = 1000;
    Figures warmUp;
    Figures small;
    Figures full;
    const std::string smallPath = dir + "/corvane-window-bench-baseline.db";
    const std::string fullPath = dir + "/corvane-window-bench-" + std::to_string(count) + ".db";
    if (!Measure(smallPath, kBaselineCount, watch, warmUp) ||
        !Measure(smallPath, kBaselineCount, watch, small) ||
        !Measure(fullPath, count, watch, full)) {
        return 1;
    }
    std::printf("%10s %12s %10s %10s %10s %10s %10s\n", "messages", "first paint", "search",
                "open conv", "scroll end", "rows", "RSS MiB");
    for (const auto& [n, f] : {std::pair{kBaselineCount, small}, std::pair{count, full}}) {
        std::printf("%10d %10.1fms %8.1fms %8.1fms %8.1fms %4d/%-5d %10.1f\n", n, f.open, f.search,
                    f.conversation, f.scroll, f.dialogues, f.messages,
                    static_cast<double>(f.rssKiB) / 1024);
    }
    std::printf(
        "%10s ratios to %d messages: first paint %.2fx, search %.2fx, open %.2fx, "
        "scroll %.2fx\n",
        "", kBaselineCount, full.open / small.open, full.search / small.search,
        full.conversation / small.conversation, full.scroll / small.scroll);
    std::printf(
        "%10s after a warm-up pass over %d messages (first paint %.1f ms, not counted); page "
        "cache warm\n",
        "", kBaselineCount, warmUp.open);
    std::filesystem::remove(smallPath);
    if (!std::getenv("CORVANE_BENCH_KEEP")) {
        std::filesystem::remove(fullPath);
    }
    return 0;
}
