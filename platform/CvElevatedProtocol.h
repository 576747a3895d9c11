#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CvRegistryHive;

// The line protocol between the program and its elevated writer helper
// (corvane-elevated-writer, started through pkexec).
//
// The helper greets with kGreeting. Each request is one line of TAB-separated
// fields; inside a field a backslash escapes: "\\" backslash, "\t" TAB,
// "\n" line feed, "\r" carriage return (anything else is malformed):
//   set-string   <key path> <value name> <text>
//   set-dword    <key path> <value name> <decimal 0..4294967295>
//   delete-value <key path> <value name>
//   quit
// Each request but quit gets one reply line: "ok" or "error <reason>".
//
// The helper runs as root, so requests are checked strictly: key paths lie
// under "Software\" of HKEY_LOCAL_MACHINE, have no empty, "." or ".."
// components, no '/' and no control characters; value names are non-empty,
// without '/', control characters, "." or ".."; texts are valid UTF-8 without
// control characters other than TAB, CR and LF; lines are at most kMaxLine
// bytes.
namespace CvElevatedProtocol {

inline constexpr std::string_view kGreeting = "corvane-elevated-writer 1 ready";
inline constexpr size_t kMaxLine = 16384;
inline constexpr size_t kMaxNameBytes = 255;

std::string EscapeField(std::string_view field);
// The request line (without line end) for the fields.
std::string FormatLine(const std::vector<std::string>& fields);
// Nullopt for a malformed escape.
std::optional<std::vector<std::string>> SplitLine(std::string_view line);

bool IsValidKeyPath(std::string_view keyPath);
bool IsValidValueName(std::string_view name);
bool IsValidText(std::string_view text);

// Carries out one request line on `hive` and returns the reply line, or
// nullopt for quit.
std::optional<std::string> Execute(std::string_view line, CvRegistryHive& hive);

}  // namespace CvElevatedProtocol
