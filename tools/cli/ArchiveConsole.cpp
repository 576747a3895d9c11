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
    paths.CreateStorageFolders();
    const std::string file = paths.MessageArchiveFile(settings);
    if (!archive.Open(file)) {
        std::fprintf(stderr, "corvane: %s: cannot open the message archive \"%s\"\n",
                     command.c_str(), file.c_str());
        return false;
    }
    return true;
}

}  // namespace ArchiveConsole
