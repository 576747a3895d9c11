#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The two registry hives this program uses.
enum class CvHive { CurrentUser, LocalMachine };

// One registry value: text (REG_SZ) or a 32-bit number (REG_DWORD).
struct CvRegValue {
    enum class Kind { String, Dword };
    Kind kind = Kind::String;
    std::string text;    // Kind::String, UTF-8
    uint32_t dword = 0;  // Kind::Dword

    static CvRegValue String(std::string text) { return {Kind::String, std::move(text), 0}; }
    static CvRegValue Dword(uint32_t value) { return {Kind::Dword, {}, value}; }
    bool operator==(const CvRegValue&) const = default;
};

// A registry hive kept in a text file in the registry editor's export format
// ("Windows Registry Editor Version 5.00"), so that an administrator can edit
// machine-wide values by hand:
//   HKEY_CURRENT_USER  = $CORVANE_USER_REGISTRY, else $XDG_CONFIG_HOME/corvane/user.reg
//                        (XDG_CONFIG_HOME defaults to ~/.config)
//   HKEY_LOCAL_MACHINE = $CORVANE_MACHINE_REGISTRY, else /etc/corvane/machine.reg
//
// Key paths are given without the hive and without a leading backslash, e.g.
// "Software\Corvane Software\Corvane Messenger\Options"; key paths and value
// names compare case-insensitively, as in the registry.
//
// The key "Software\Microsoft\Windows\CurrentVersion\Run" is not kept in the
// file: each value there is an XDG autostart entry, a .desktop file named after
// the value in $XDG_CONFIG_HOME/autostart/ (current user) or /etc/xdg/autostart/
// (local machine), whose Exec= line holds the value's text.
//
// Every call reads the file afresh. Writes take an advisory lock, re-read,
// change, write a temporary file and rename it over the old one, so that a
// crash never leaves a half-written file and two processes writing different
// values both keep theirs. A missing or unreadable file reads as empty; a
// malformed line is skipped. CvRegFile describes the accepted file format and
// CvAutostartEntries how Run values map to desktop entries.
class CvRegistryHive {
public:
    explicit CvRegistryHive(CvHive hive);

    CvHive Hive() const { return m_hive; }
    // The backing file of this hive (the Run key lives elsewhere, see above).
    std::string FilePath() const;

    bool KeyExists(const std::string& keyPath) const;
    // Creates the key (and its parents) if missing; false when the store
    // cannot be written.
    bool CreateKey(const std::string& keyPath);
    // True when this process may write the hive (the file, or the folder it
    // would be created in, is writable). Opening a key for writing without it
    // fails, as it does for an unprivileged user on HKEY_LOCAL_MACHINE.
    bool CanWrite() const;
    // CanWrite for one key: the Run key is writable when its autostart folder
    // is, every other key when the file is.
    bool CanWriteKey(const std::string& keyPath) const;

    // The Run key (any case, with or without a leading backslash).
    static bool IsRunKey(const std::string& keyPath);
    // The folder that holds this hive's Run values:
    //   current user:  $XDG_CONFIG_HOME/autostart (XDG_CONFIG_HOME defaults to ~/.config)
    //   local machine: $CORVANE_MACHINE_AUTOSTART_DIR, else /etc/xdg/autostart
    std::string AutostartFolder() const;

    std::optional<CvRegValue> ReadValue(const std::string& keyPath, const std::string& name) const;
    // Creates the key if missing. False when the store cannot be written, and
    // for a number written to the Run key (its values are command lines).
    bool WriteValue(const std::string& keyPath, const std::string& name, const CvRegValue& value);
    // False when the value did not exist or the store cannot be written.
    bool DeleteValue(const std::string& keyPath, const std::string& name);

private:
    CvHive m_hive;
};
