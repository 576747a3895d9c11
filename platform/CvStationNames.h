#pragma once

#include <optional>
#include <string>

// The names under which this station is known on the network, all upper case
// (UTF-8). Each can be set with an environment variable:
//   CORVANE_COMPUTER_NAME, CORVANE_USER_NAME, CORVANE_WORKGROUP;
// the workgroup otherwise comes from the Samba configuration
// ($CORVANE_SMB_CONF, else /etc/samba/smb.conf).
namespace CvStationNames {

// CORVANE_COMPUTER_NAME, else the host name; see ComputerNameFromHost.
std::string ComputerName();

// CORVANE_USER_NAME, else the login name of the effective user, upper case;
// "" when the system cannot tell it.
std::string UserName();

// CORVANE_WORKGROUP, else the smb.conf workgroup, else "WORKGROUP"; cut to
// 15 code points like the computer name.
std::string Workgroup();

// The host name up to its first dot, upper case, cut to 15 code points.
std::string ComputerNameFromHost(const std::string& hostName);

// The "workgroup" parameter of the [global] section (or of lines before any
// section), as Samba reads it: case and blanks in the key do not matter, the
// last occurrence wins, ';' and '#' start comment lines. Upper case, cut to
// 15 code points; nullopt
// when the file is missing or sets no non-empty workgroup.
std::optional<std::string> WorkgroupFromSmbConf(const std::string& path);

}  // namespace CvStationNames
