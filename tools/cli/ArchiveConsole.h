#pragma once

#include <string>

#include "storage/CvMsgArchive.h"

// The message archive of the user's settings, for the subcommands that read
// it. On failure prints why (prefixed "corvane: <command>: ") and returns
// false: archiving disabled by MsgArcDisabled, or the file cannot be opened.
namespace ArchiveConsole {

bool Open(CvMsgArchive& archive, const std::string& command);

}  // namespace ArchiveConsole
