#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace keldrive::testing {

// Fixture images live under tests/fixtures, compressed with gzip; their ground truth sits
// beside them. These helpers read them without any tool but gzip.

// The full path of a file under tests/fixtures.
std::string FixturePath(const std::string& relative);

// The bytes of a fixture; a name ending in ".gz" is decompressed. Empty when missing.
std::vector<std::uint8_t> LoadFixture(const std::string& relative);

// Writes the (decompressed) fixture into `dir` under `name` and returns the file's path,
// for code that opens image files.
std::string ExtractFixture(const std::string& relative, const TempDir& dir,
                           const std::string& name);

// Lines of a tab-separated ground-truth file, split into fields; lines starting with '#'
// are skipped.
std::vector<std::vector<std::string>> LoadTruthTable(const std::string& relative);

}  // namespace keldrive::testing
