// corvane-elevated-writer: writes values under HKEY_LOCAL_MACHINE (the machine
// registry file and the all-users autostart entries) on behalf of the program,
// which starts it through pkexec. Requests arrive on standard input, replies
// leave on standard output; CvElevatedProtocol describes both.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>

#include "platform/CvElevatedProtocol.h"
#include "platform/CvRegistryHive.h"

int main() {
    if (std::getenv("PKEXEC_UID") != nullptr) {
        // Started with root rights: store locations come from nobody's
        // environment.
        unsetenv("CORVANE_MACHINE_REGISTRY");
        unsetenv("CORVANE_MACHINE_AUTOSTART_DIR");
    }
    // Machine-wide files must stay readable for every user.
    umask(022);

    CvRegistryHive hive(CvHive::LocalMachine);
    std::printf("%s\n", std::string(CvElevatedProtocol::kGreeting).c_str());
    std::fflush(stdout);

    std::string line;
    bool tooLong = false;
    for (;;) {
        const int c = std::getchar();
        if (c == EOF) {
            return 0;
        }
        if (c != '\n') {
            if (line.size() <= CvElevatedProtocol::kMaxLine) {
                line += static_cast<char>(c);
            } else {
                tooLong = true;
            }
            continue;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const auto reply = tooLong ? std::optional<std::string>("error line too long")
                                   : CvElevatedProtocol::Execute(line, hive);
        line.clear();
        tooLong = false;
        if (!reply) {
            return 0;
        }
        std::printf("%s\n", reply->c_str());
        std::fflush(stdout);
    }
}
