#pragma once

#include <string>

// Where this platform keeps the folders the program asks the system for.
namespace CvSpecialFolders {

// Full path of the running executable (/proc/self/exe); "" when unknown.
std::string ExecutablePath();

// The per-user application data folder: $XDG_DATA_HOME when it is an absolute
// path, else ~/.local/share (home from $HOME, else the password database).
// Not created. "" when no home folder can be found.
std::string AppDataFolder();

}  // namespace CvSpecialFolders
