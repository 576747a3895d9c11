#pragma once

#include <string>

#include "storage/CvMsgArchive.h"

// The message archive of the user's settings, for the subcommands that read
// it. On failure prints why (prefixed "corvane: <command>: ") and returns
// false: archiving disabled by MsgArcDisabled, or the file cannot be opened.
namespace ArchiveConsole {

bool Open(CvMsgArchive& archive, const std::string& command);

// "cannot open the message archive "<file>": <why>" after a failed
// CvMsgArchive::Open, the why being `folderProblem` (what
// CvAppPaths::CreateStorageFolders said) when there is one, else SQLite's.
std::string OpenProblem(const std::string& file, const std::string& folderProblem,
                        CvMsgArchive& archive);

}  // namespace ArchiveConsole
