#pragma once

#include <string>

// Message archives for the benchmarks: `count` messages over kBenchPartners
// partners ("STATION0"...), half received, half sent, random words from a
// mixed Latin and Cyrillic vocabulary, one to ten minutes apart.
inline constexpr int kBenchPartners = 50;

std::string BenchPartner(int i);

// Creates a new archive file at `path` with `count` messages in one
// transaction. The rows are written past the search index; the archive
// indexes them when it next opens the file. False when the file cannot be
// written.
bool GenerateBenchArchive(const std::string& path, int count);
