#pragma once

#include <functional>
#include <optional>
#include <string>

// Whole-file reads and locked, atomic rewrites of small text files (the
// registry files, INI files, autostart entries).
//
// A rewrite takes an exclusive advisory lock (flock) on the file itself,
// re-reads it, lets the caller compute the new text, writes that to a
// temporary file in the same folder, syncs it, renames it over the old one
// and syncs the folder, so the new file also survives a power cut. Readers
// therefore see either the old or the new file, never a mix, and a process
// killed mid-write leaves only a stray temporary file, which the next rewrite
// removes. Writers that lock and find the file replaced by a rename retry on
// the new file, so concurrent changes are serialised and none is lost.
namespace CvAtomicFile {

// The file's content; nullopt when it is missing or cannot be read.
std::optional<std::string> Read(const std::string& path);

// Receives the current content ("" when the file is missing) and returns the
// new content, or nullopt to leave the file as it is.
using Change = std::function<std::optional<std::string>(const std::string& current)>;

// Creates missing parent folders and the file itself. The rewritten file keeps
// the old file's permission bits; a new one gets 0666 less the umask. False
// when the file cannot be locked, read or replaced (the old file then stands).
bool Update(const std::string& path, const Change& change);

// Removes the file under the same lock. True when it is gone afterwards.
bool Remove(const std::string& path);

// True when Update could replace the file: its folder (or the nearest existing
// ancestor, which would hold the created folders) is writable and an existing
// file is writable too.
bool CanReplace(const std::string& path);

}  // namespace CvAtomicFile
