#include "app/CvAppPaths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/CvAppSettingsTable.h"
#include "app/CvPath.h"
#include "platform/CvRegistryHive.h"
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

std::string CvAppPaths::CreateStorageFolders() const {
    if (m_iniMode) {
        return {};
    }
    // ~/.local/share may not exist yet on a fresh account.
    if (!m_appDataFolder.empty()) {
        std::error_code error;
        std::filesystem::create_directories(m_appDataFolder, error);
        if (error) {
            return "cannot create the folder " + m_appDataFolder + ": " + error.message();
        }
    }
    const std::string base = m_appDataFolder + "/Corvane Messenger";
    for (const std::string& folder : {base, StorageFolder()}) {
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            const int error = errno;
            return "cannot create the folder " + folder + ": " + std::strerror(error);
        }
    }
    const std::string folder = StorageFolder();
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return "the data folder " + folder + " is not a folder";
    }
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        const int error = errno;
        return "cannot write in the data folder " + folder + ": " + std::strerror(error);
    }
    return {};
}

std::vector<std::string> CvAppPaths::UnreadableSettingsFiles() const {
    const std::vector<std::string> files =
        m_iniMode ? std::vector<std::string>{IniPath()}
                  : std::vector<std::string>{CvRegistryHive(CvHive::CurrentUser).FilePath(),
                                             CvRegistryHive(CvHive::LocalMachine).FilePath()};
    std::vector<std::string> unreadable;
    for (const std::string& file : files) {
        const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error != ENOENT) {
                unreadable.push_back(file + " (" + std::strerror(error) + ")");
            }
            continue;
        }
        char byte = 0;
        if (read(fd, &byte, 1) < 0) {
            const int error = errno;
            unreadable.push_back(file + " (" + std::strerror(error) + ")");
        }
        close(fd);
    }
    return unreadable;
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
