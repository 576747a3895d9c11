#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "app/CvAppVersion.h"
#include "ui/CMainForm.h"
#include "ui/CMessengerApp.h"
#include "ui/CvResources.h"
#include "ui/shell/CvRealDesktopServices.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_signalPipe[1], &byte, 1);
}

void PrintUsage() {
    std::printf(
        "usage: corvane-messenger [--help] [--version]\n\n"
        "The Corvane Messenger desktop program: a tray icon that receives messages\n"
        "from the local network, pops them up and answers them. One instance runs\n"
        "per user; quit it from the tray menu. Without a display use the\n"
        "command-line station, corvane listen.\n\n"
        "  --help, -h   print this text and exit\n"
        "  --version    print the version and exit\n\n"
        "Qt's own options (-platform NAME, -display DISPLAY, ...) pass to Qt. An\n"
        "unknown option exits with 64.\n");
}

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintUsage();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("corvane-messenger %s\n", CvAppVersion());
            return 0;
        }
        // Qt's own options (-platform, -display, ...) pass through.
        if (argv[i][0] == '-' && argv[i][1] == '-' &&
            std::strncmp(argv[i], "--platform", 10) != 0) {
            std::fprintf(stderr,
                         "corvane-messenger: unknown option \"%s\" (corvane-messenger --help "
                         "shows the usage)\n",
                         argv[i]);
            return 64;
        }
    }
    if (!Set("QT_QPA_PLATFORM") && !Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) {
        std::fprintf(stderr,
                     "corvane-messenger: no display to show windows on (neither DISPLAY nor "
                     "WAYLAND_DISPLAY is set). Run the station without windows with: corvane "
                     "listen\n");
        return 1;
    }
    // Popups are placed by the program itself, which Wayland does not allow
    // a client; XWayland does.
    if (!Set("QT_QPA_PLATFORM") && Set("WAYLAND_DISPLAY") && Set("DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        std::fprintf(stderr,
                     "corvane-messenger: Wayland session: running through XWayland, so that "
                     "popups can be placed\n");
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("corvane-messenger");
    QApplication::setApplicationDisplayName("Corvane Messenger");
    QApplication::setApplicationVersion(CvAppVersion());
    QApplication::setDesktopFileName("corvane-messenger");
    QApplication::setQuitOnLastWindowClosed(false);
    CvResources::Init();
    QApplication::setWindowIcon(CvResources::AppIcon());

    CMessengerApp messenger(std::make_unique<CvRealDesktopServices>());
    messenger.InitInstance();
    if (!messenger.HasMainWindow()) {
        if (!messenger.Refusal().empty()) {
            std::fprintf(stderr, "corvane-messenger: %s\n", messenger.Refusal().c_str());
            QMessageBox::warning(nullptr, "Corvane Messenger",
                                 QString::fromStdString(messenger.Refusal()));
            return 1;
        }
        return messenger.ExitInstance();
    }

    // The end of the session and Ctrl-C shut down like "Exit Corvane".
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGHUP, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    CMainForm* main = messenger.MainWindow();
    QObject::connect(&notifier, &QSocketNotifier::activated, main,
                     [main] { main->PostMessage(CMainForm::kMsgClose); });
    QObject::connect(&application, &QGuiApplication::commitDataRequest, main,
                     [main](QSessionManager&) { main->PostMessage(CMainForm::kMsgClose); });

    application.exec();
    return messenger.ExitInstance();
}
