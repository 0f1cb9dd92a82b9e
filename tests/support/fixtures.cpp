#include "support/fixtures.h"

#include <zlib.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace keldrive::testing {

std::string FixturePath(const std::string& relative) {
  return std::string(KELDRIVE_FIXTURES) + "/" + relative;
}

std::vector<std::uint8_t> LoadFixture(const std::string& relative) {
  const std::string path = FixturePath(relative);
  if (relative.size() < 3 || relative.compare(relative.size() - 3, 3, ".gz") != 0) {
    return ReadFileBytes(path);
  }
  // zlib rather than a gzip process, so that the Windows build unpacks them too.
  std::vector<std::uint8_t> bytes;
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  std::uint8_t buffer[1 << 16];
  int got;
  while ((got = gzread(file, buffer, sizeof buffer)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  if (got < 0 || gzclose(file) != Z_OK) bytes.clear();
  return bytes;
}

std::string ExtractFixture(const std::string& relative, const TempDir& dir,
                           const std::string& name) {
  const std::string path = dir.File(name);
  WriteFile(path, LoadFixture(relative));
  return path;
}

std::vector<std::vector<std::string>> LoadTruthTable(const std::string& relative) {
  std::vector<std::vector<std::string>> rows;
  std::ifstream file(FixturePath(relative));
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) fields.push_back(field);
    rows.push_back(std::move(fields));
  }
  return rows;
}

}  // namespace keldrive::testing
