#pragma once

#include <string>
#include <vector>

#include "app/CvPropertyList.h"

// Where the program's files live. The storage mode is fixed when the object is
// made: INI mode when "corvane.ini" lies in the program folder, else registry
// mode with a per-user storage folder under the application data folder.
class CvAppPaths {
public:
    // For the running process. The program folder is the executable's, or
    // $CORVANE_PROGRAM_DIR when set (tests, portable installs).
    static CvAppPaths Detect();

    CvAppPaths(std::string programFolder, std::string appDataFolder);

    // Without a trailing slash; "" when unknown.
    const std::string& ProgramFolder() const { return m_programFolder; }
    // "" when unknown.
    const std::string& AppDataFolder() const { return m_appDataFolder; }
    std::string IniPath() const { return m_programFolder + "/corvane.ini"; }
    bool IsIniMode() const { return m_iniMode; }
    // "<app data>/Corvane Messenger/3.x" in registry mode, "" in INI mode.
    std::string StorageFolder() const;
    // "language/" beside the program; for an installed program whose folder
    // has none (/usr/bin), the data folder of its prefix,
    // "<prefix>/share/corvane-messenger/language/".
    std::string LanguageFolder() const;
    // The command line that starts the desktop program with the session: its
    // path in double quotes, the desktop program beside this program.
    std::string AutostartCommand() const;

    // Registry mode: creates "<app data>/Corvane Messenger" and its "3.x"
    // (private to the user); INI mode creates nothing. Returns "" when the
    // storage folder is there and writable, else what is wrong, for a person
    // (the files in it cannot be created then).
    std::string CreateStorageFolders() const;

    // The settings files of the storage mode (the INI file, or the user's
    // and the machine's registry files) that exist but cannot be read, each
    // as "<path> (<reason>)". Their settings would silently fall back to the
    // defaults.
    std::vector<std::string> UnreadableSettingsFiles() const;

    // The archive and contact list database files: the file setting when its
    // "Use" setting is non-zero, else "messages" / "contacts" in the storage
    // folder (bare names, relative to the current folder, in INI mode).
    std::string MessageArchiveFile(const CvPropertyList& settings) const;
    std::string ContactListFile(const CvPropertyList& settings) const;

private:
    std::string InStorageFolder(const std::string& name) const;

    std::string m_programFolder;
    std::string m_appDataFolder;
    bool m_iniMode;
};
