#pragma once

#include <optional>
#include <string>

// The values of a Run key, kept as XDG autostart entries: value "<name>" is
// the desktop entry "<folder>/<name>.desktop" and its text is the entry's
// Exec= line. Names compare case-insensitively, as registry value names do.
//
// The text is stored with the desktop entry's string escapes (\\ \n \t \r and
// \s for leading blanks) and with '%' doubled, so that the Exec line runs the
// text as a command line and any text reads back unchanged. An entry with
// Hidden=true is a disabled (deleted) entry and reads as absent.
class CvAutostartEntries {
public:
    explicit CvAutostartEntries(std::string folder);

    const std::string& Folder() const { return m_folder; }
    // File name of the entry for `name` ('/' and control characters are
    // %-encoded, as is a leading '.').
    static std::string FileNameFor(const std::string& name);

    // The Exec text; nullopt when there is no (visible) entry.
    std::optional<std::string> Read(const std::string& name) const;
    // Writes [Desktop Entry] with Type=Application, Name=<name>, Exec=<text>,
    // replacing an existing entry of that name. False when it cannot be written.
    bool Write(const std::string& name, const std::string& text);
    // False when there was no entry or it cannot be removed.
    bool Remove(const std::string& name);
    // True when entries can be written (the folder, or where it would be
    // created, is writable).
    bool CanWrite() const;

    static std::string EscapeExec(const std::string& text);
    static std::string UnescapeExec(const std::string& exec);

private:
    std::optional<std::string> FindFile(const std::string& name) const;

    std::string m_folder;
};
