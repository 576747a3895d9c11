#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CvStation;

// What the station subcommands share: the stop signals, and the report of
// the station's state on standard error. Every line there starts with
// "corvane: ".
namespace StationConsole {

// Installs handlers for SIGINT and SIGTERM that only write to a pipe, and
// ignores SIGPIPE. The read end is returned (-1 on failure).
int InstallStopSignals();
// True once a stop signal arrived (non-blocking).
bool StopRequested(int stopFd);
// Waits up to `ms` for a stop signal; true when one arrived.
bool WaitForStop(int stopFd, int ms);

// The state report lines: the adapters (without one: why, e.g. the NetBIOS
// ports need a permission or another program holds them, CvPortDiagnosis),
// each name and the MESSNGR mailslot.
std::vector<std::string> StateLines(CvStation& station);
// Prints the lines that differ from `last` (all at first) and keeps them.
void ReportChanges(CvStation& station, std::vector<std::string>& last);

// The interface text of a failed send result code (2 to 5).
std::string SendResultText(int32_t code);

// The text of the user's language file, when the settings name one.
void LoadLanguage(const std::string& sysLanguageFile);

}  // namespace StationConsole
