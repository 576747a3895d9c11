#include "tools/cli/ArchiveConsole.h"

#include <cstdio>

#include "app/CvAppPaths.h"
#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"

namespace ArchiveConsole {

bool Open(CvMsgArchive& archive, const std::string& command) {
    const CvAppPaths paths = CvAppPaths::Detect();
    CvAppPropertyList settings;
    CvAppSettingsStore store(paths);
    store.SetInspectOnly(true);
    store.Load(settings, nullptr);
    if (settings.Get(CvSettingId::kMsgArcDisabled).GetInt() != 0) {
        std::fprintf(stderr, "corvane: %s: the message archive is disabled (MsgArcDisabled)\n",
                     command.c_str());
        return false;
    }
    const std::string folderProblem = paths.CreateStorageFolders();
    const std::string file = paths.MessageArchiveFile(settings);
    if (!archive.Open(file)) {
        std::fprintf(stderr, "corvane: %s: %s\n", command.c_str(),
                     OpenProblem(file, folderProblem, archive).c_str());
        return false;
    }
    return true;
}

std::string OpenProblem(const std::string& file, const std::string& folderProblem,
                        CvMsgArchive& archive) {
    // A folder that could not be made is the cause; SQLite then only sees a
    // file it cannot create.
    return "cannot open the message archive \"" + file +
           "\": " + (folderProblem.empty() ? archive.Database().OpenError() : folderProblem);
}

}  // namespace ArchiveConsole
