#pragma once

#include <string>
#include <string_view>

// The URL, in UTF-8, that the desktop's URL opener gets for a link that
// CvParser found. A network share "\\host\share\path" becomes
// "smb://host/share/path" with every backslash turned into a slash. A mail
// link keeps only its address and the fields "subject" and "body" (any
// letter case, in their order): a field such as "attach" or "cc" would let a
// message choose files or recipients for the user's next mail. Any other
// link is passed on as written. Nothing is escaped: the opener parses the
// URL tolerantly. An unpaired surrogate becomes U+FFFD.
std::string CvLinkUrl(const std::u16string& link);

// What a click on a link may do, by the scheme of its URL (CvLinkUrl).
enum class CvLinkOpen {
    Open,    // "http", "https", "ftp" or "mailto": opened at once
    Ask,     // a network share or any other scheme: opened once the user agrees
    Refuse,  // "file", or no scheme: a message never opens a local file
};
CvLinkOpen CvLinkOpenRule(std::string_view url);
