// corvane-tray-baseline: the least a Qt Widgets program with a tray icon
// does: an application object and one QSystemTrayIcon with a 22-pixel
// picture, until SIGTERM. scripts/bench-desktop.sh measures it beside
// corvane-messenger (start to tray icon, idle memory, idle wake-ups), so that
// the program's own cost shows as a ratio to the toolkit's floor.
#include <QApplication>
#include <QPixmap>
#include <QSocketNotifier>
#include <QSystemTrayIcon>

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};

void OnTerm(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap picture(22, 22);
    picture.fill(QColor(0xFF, 0xC5, 0x19));
    QSystemTrayIcon tray{QIcon(picture)};
    tray.setToolTip("baseline");
    tray.show();
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return 1;
    }
    std::signal(SIGTERM, OnTerm);
    QSocketNotifier notifier(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &application, &QApplication::quit);
    return application.exec();
}
