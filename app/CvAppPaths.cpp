#include "app/CvAppPaths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

#include "app/CvAppSettingsTable.h"
#include "app/CvPath.h"
#include "platform/CvSpecialFolders.h"

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

}  // namespace

CvAppPaths CvAppPaths::Detect() {
    std::string programFolder;
    if (const char* override = std::getenv("CORVANE_PROGRAM_DIR");
        override != nullptr && override[0] != '\0') {
        programFolder = WithoutTrailingSlashes(override);
    } else {
        programFolder = FolderOf(CvSpecialFolders::ExecutablePath());
    }
    return CvAppPaths(std::move(programFolder), CvSpecialFolders::AppDataFolder());
}

CvAppPaths::CvAppPaths(std::string programFolder, std::string appDataFolder)
    : m_programFolder(std::move(programFolder)),
      m_appDataFolder(std::move(appDataFolder)),
      m_iniMode(CvPath::FileExists(IniPath())) {}

std::string CvAppPaths::LanguageFolder() const {
    const std::string beside = m_programFolder + "/language/";
    std::error_code ignored;
    if (std::filesystem::is_directory(beside, ignored)) {
        return beside;
    }
    const std::string installed = FolderOf(m_programFolder) + "/share/corvane-messenger/language/";
    return std::filesystem::is_directory(installed, ignored) ? installed : beside;
}

std::string CvAppPaths::AutostartCommand() const {
    return "\"" + m_programFolder + "/corvane-messenger\"";
}

std::string CvAppPaths::StorageFolder() const {
    return m_iniMode ? std::string() : m_appDataFolder + "/Corvane Messenger/3.x";
}

void CvAppPaths::CreateStorageFolders() const {
    if (m_iniMode) {
        return;
    }
    // ~/.local/share may not exist yet on a fresh account.
    if (!m_appDataFolder.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(m_appDataFolder, ignored);
    }
    const std::string base = m_appDataFolder + "/Corvane Messenger";
    mkdir(base.c_str(), 0700);
    mkdir((base + "/3.x").c_str(), 0700);
}

std::string CvAppPaths::InStorageFolder(const std::string& name) const {
    const std::string folder = StorageFolder();
    return folder.empty() ? name : folder + "/" + name;
}

std::string CvAppPaths::MessageArchiveFile(const CvPropertyList& settings) const {
    if (settings.Get(CvSettingId::kMsgArcUseDatabaseFile).GetInt() != 0) {
        return settings.Get(CvSettingId::kMsgArcDatabaseFile).GetText();
    }
    return InStorageFolder("messages");
}

std::string CvAppPaths::ContactListFile(const CvPropertyList& settings) const {
    if (settings.Get(CvSettingId::kContactListUseDatabaseFile).GetInt() != 0) {
        return settings.Get(CvSettingId::kContactListDatabaseFile).GetText();
    }
    return InStorageFolder("contacts");
}
