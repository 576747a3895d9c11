#include <cstdio>
#include <string>
#include <vector>

#include "app/CvAppPaths.h"
#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsStore.h"
#include "app/CvSettingsReport.h"
#include "tools/cli/CliCommand.h"

namespace {

int RunSettings(const std::vector<std::string>& args) {
    if (!args.empty()) {
        return CliUsageError("settings", "takes no arguments");
    }
    const CvAppPaths paths = CvAppPaths::Detect();
    CvAppPropertyList list;
    CvSettingSources sources;
    CvAppSettingsStore store(paths);
    store.SetInspectOnly(true);
    store.Load(list, &sources);
    std::fputs(CvDescribeSettingStores(paths).c_str(), stdout);
    std::fputs("\n", stdout);
    std::fputs(CvFormatSettingsReport(list, sources).c_str(), stdout);
    return 0;
}

const CliCommandRegistration kRegistration({
    "settings",
    "",
    "show every setting, its value and where it came from",
    RunSettings,
    "Prints where the settings are stored, then every setting: its identifier,\n"
    "registry key, effective value and where that value came from (default,\n"
    "machine, user or INI file). Reads the settings only; changes nothing.\n",
});

}  // namespace
