#pragma once

#include <memory>
#include <string>

#include "app/CvAppPaths.h"
#include "app/CvAppPropertyList.h"
#include "app/CvSettingSource.h"
#include "app/CvSettingStorage.h"

// Loads the settings list from, and saves it to, the stores of the storage
// mode: the INI file's "Options" section, or the "Options" key of the machine
// and user registry hives. Also opens the stores of window placements.
class CvAppSettingsStore {
public:
    static constexpr const char* kOptionsKey =
        "\\Software\\Corvane Software\\Corvane Messenger\\Options";
    static constexpr const char* kOptionsSection = "Options";
    static constexpr const char* kWindowsKey =
        "\\Software\\Corvane Software\\Corvane Messenger\\Windows\\";
    static constexpr const char* kRunKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const char* kRunValueName = "Corvane Messenger";

    explicit CvAppSettingsStore(const CvAppPaths& paths);

    // Load then leaves every store as it was: the user's key is not created
    // when missing (for tools that only show the settings).
    void SetInspectOnly(bool inspectOnly) { m_inspectOnly = inspectOnly; }

    // Fills `list`: every default, then machine-wide values (registry mode),
    // then the user's values; resolves the two database file settings against
    // the program folder; derives the autostart state from the Run entries of
    // both hives (all users wins). Values of the wrong type are ignored. When
    // `sources` is given it receives the origin of every setting.
    void Load(CvAppPropertyList& list, CvSettingSources* sources = nullptr) const;

    // Writes every stored, not read-only setting (ascending identifier),
    // changed or not. False when the user store cannot be opened for writing
    // or a write failed.
    bool Save(const CvAppPropertyList& list) const;

    // Writes one setting of `list` to the user's options at once, leaving the
    // others in the store as they are. Also takes settings that Save leaves
    // alone because only a particular dialog writes them. False for a setting
    // kept elsewhere, or when it cannot be written.
    bool SaveOne(const CvAppPropertyList& list, int32_t id) const;

    // The store of a window's placement: registry key "...\Windows\<name>" of
    // the current user, or INI section "Windows.<name>". Null when the key
    // cannot be opened (or, with `writable`, created).
    std::unique_ptr<CvSettingStorage> OpenWindowStorage(const std::string& name,
                                                        bool writable) const;

    // Autostart state from the Run entries: 0 none, 1 current user, 2 all users.
    static int32_t ReadAutostartState();

private:
    std::unique_ptr<CvSettingStorage> OpenUserOptions(bool writable) const;

    CvAppPaths m_paths;
    bool m_inspectOnly = false;
};
