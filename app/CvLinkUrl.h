#pragma once

#include <string>

// The URL, in UTF-8, that the desktop's URL opener gets for a link that
// CvParser found. A network share "\\host\share\path" becomes
// "smb://host/share/path" with every backslash turned into a slash; any other
// link is passed on as written. Nothing is escaped: the opener parses the URL
// tolerantly. An unpaired surrogate becomes U+FFFD.
std::string CvLinkUrl(const std::u16string& link);
