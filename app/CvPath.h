#pragma once

#include <optional>
#include <string>

// Path helpers for files named in settings.
namespace CvPath {

// Longest path, in characters, that normalisation may produce.
inline constexpr size_t kMaxPathChars = 259;

// True when `path` exists and is not a directory.
bool FileExists(const std::string& path);

// Replaces every %NAME% with the variable's value. A reference to an undefined
// variable, and a lone percent sign, stay as written.
std::string ExpandEnvironment(const std::string& text);

// Resolves "." and ".." and repeated slashes without touching the file
// system. Nullopt when the result would be longer than kMaxPathChars or the
// input is empty.
std::optional<std::string> Canonicalize(const std::string& path);

// Expands variables, then canonicalises; when a step fails the value is
// returned as it was.
std::string Normalize(const std::string& value);

// A file setting resolved against `baseFolder`: variables expanded, a relative
// result (also an empty one) put under `baseFolder`, then canonicalised. When
// canonicalisation fails the joined, expanded path is returned.
std::string ResolveFileSetting(const std::string& value, const std::string& baseFolder);

}  // namespace CvPath
