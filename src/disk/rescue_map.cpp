#include "disk/rescue_map.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <limits>
#include <span>

#include "platform/file_handle.h"
#include "platform/file_replace.h"

namespace keldrive {
namespace {

// ddrescue keeps positions in signed 64-bit numbers; larger ones are not from a mapfile.
constexpr std::uint64_t kMaxMapNumber = std::numeric_limits<std::int64_t>::max();

bool IsAreaStatus(char c) {
  return c == '?' || c == '*' || c == '/' || c == '-' || c == '+';
}

bool IsPhase(char c) {
  return IsAreaStatus(c) || c == 'F' || c == 'G';
}

// A number as ddrescue writes and reads them: "0x" hexadecimal, a leading 0 octal,
// otherwise decimal.
std::optional<std::uint64_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && text[0] == '0') {
    base = 8;
    text.remove_prefix(1);
  }
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc{} || end != text.data() + text.size() || value > kMaxMapNumber) {
    return std::nullopt;
  }
  return value;
}

std::vector<std::string_view> SplitWords(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < line.size() && words.size() <= 3) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    const std::size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
    if (at > start) words.push_back(line.substr(start, at - start));
  }
  return words;
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08" PRIX64, value);
  return text;
}

}  // namespace

RescueMap::RescueMap(std::uint64_t sectors) : sectors_(sectors) {
  if (sectors != 0) {
    extents_.emplace(0, Extent{sectors, RescueStatus::kNonTried});
    counts_[Index(RescueStatus::kNonTried)] = sectors;
  }
}

std::optional<RescueMap> RescueMap::FromAreas(const std::vector<RescueArea>& areas) {
  RescueMap map;
  for (const RescueArea& area : areas) {
    if (area.run.First() != map.sectors_) return std::nullopt;
    if (area.run.Empty()) continue;
    map.sectors_ = area.run.End();
    // Neighbours of one status are joined, as Mark keeps them.
    if (!map.extents_.empty()) {
      auto& [lastFirst, last] = *map.extents_.rbegin();
      if (last.status == area.status) {
        last.count += area.run.Count();
        map.counts_[Index(area.status)] += area.run.Count();
        continue;
      }
    }
    map.extents_.emplace(area.run.First(), Extent{area.run.Count(), area.status});
    map.counts_[Index(area.status)] += area.run.Count();
  }
  return map;
}

std::size_t RescueMap::Index(RescueStatus status) {
  switch (status) {
    case RescueStatus::kNonTried:
      return 0;
    case RescueStatus::kNonTrimmed:
      return 1;
    case RescueStatus::kNonScraped:
      return 2;
    case RescueStatus::kBadSector:
      return 3;
    case RescueStatus::kFinished:
      return 4;
  }
  return 0;
}

void RescueMap::SplitAt(std::uint64_t sector) {
  if (sector == 0 || sector >= sectors_) return;
  auto it = extents_.upper_bound(sector);
  --it;  // the extent that holds the sector: the map has no gaps
  const std::uint64_t first = it->first;
  if (first == sector) return;
  Extent& extent = it->second;
  const std::uint64_t tail = first + extent.count - sector;
  extent.count = sector - first;
  extents_.emplace_hint(std::next(it), sector, Extent{tail, extent.status});
}

void RescueMap::Mark(SectorRun run, RescueStatus status) {
  run = run.Intersect(SectorRun::Between(0, sectors_));
  if (run.Empty()) return;
  SplitAt(run.First());
  SplitAt(run.End());
  auto it = extents_.find(run.First());
  while (it != extents_.end() && it->first < run.End()) {
    counts_[Index(it->second.status)] -= it->second.count;
    it = extents_.erase(it);
  }
  counts_[Index(status)] += run.Count();
  it = extents_.emplace_hint(it, run.First(), Extent{run.Count(), status});

  // Join the neighbours that now have the same status.
  const auto next = std::next(it);
  if (next != extents_.end() && next->second.status == status) {
    it->second.count += next->second.count;
    extents_.erase(next);
  }
  if (it != extents_.begin()) {
    const auto previous = std::prev(it);
    if (previous->second.status == status) {
      previous->second.count += it->second.count;
      extents_.erase(it);
    }
  }
}

RescueStatus RescueMap::StatusOf(std::uint64_t sector) const {
  if (sector >= sectors_) return RescueStatus::kNonTried;
  auto it = extents_.upper_bound(sector);
  return std::prev(it)->second.status;
}

std::uint64_t RescueMap::Count(RescueStatus status) const {
  return counts_[Index(status)];
}

std::vector<RescueArea> RescueMap::Areas() const {
  std::vector<RescueArea> areas;
  areas.reserve(extents_.size());
  for (const auto& [first, extent] : extents_) {
    areas.push_back({*SectorRun::Make(first, extent.count), extent.status});
  }
  return areas;
}

std::vector<SectorRun> RescueMap::RunsWith(RescueStatus status) const {
  std::vector<SectorRun> runs;
  for (const auto& [first, extent] : extents_) {
    if (extent.status == status) runs.push_back(*SectorRun::Make(first, extent.count));
  }
  return runs;
}

std::optional<SectorRun> RescueMap::FirstFrom(std::uint64_t from, RescueStatus status) const {
  if (from >= sectors_) return std::nullopt;
  for (auto it = std::prev(extents_.upper_bound(from)); it != extents_.end(); ++it) {
    if (it->second.status != status) continue;
    const SectorRun run = *SectorRun::Make(it->first, it->second.count);
    return run.Intersect(SectorRun::Between(from, sectors_));
  }
  return std::nullopt;
}

std::optional<SectorRun> RescueMap::LastBefore(std::uint64_t end, RescueStatus status) const {
  if (end == 0 || extents_.empty()) return std::nullopt;
  auto it = extents_.lower_bound(end);  // the first extent that begins at or after `end`
  while (it != extents_.begin()) {
    --it;
    if (it->second.status != status) continue;
    const SectorRun run = *SectorRun::Make(it->first, it->second.count);
    return run.Intersect(SectorRun::Between(0, end));
  }
  return std::nullopt;
}

std::string FormatRescueMap(const RescueMap& map, std::uint32_t sectorBytes,
                            const std::vector<std::string>& comments) {
  std::string text;
  for (const std::string& comment : comments) text += "# " + comment + "\n";
  text += "# current_pos  current_status  current_pass\n";
  text += Hex(map.position * sectorBytes) + "     " + static_cast<char>(map.phase) +
          "               " + std::to_string(map.pass) + "\n";
  text += "#      pos        size  status\n";
  for (const RescueArea& area : map.Areas()) {
    text += Hex(area.run.First() * sectorBytes) + "  " + Hex(area.run.Count() * sectorBytes) +
            "  " + static_cast<char>(area.status) + "\n";
  }
  return text;
}

ResultCode ParseRescueMap(std::string_view text, std::uint32_t sectorBytes, RescueMap& out,
                          std::string& error) {
  const auto fail = [&](std::size_t line, const std::string& why) {
    error = "line " + std::to_string(line) + ": " + why;
    return result::kInvalidData;
  };
  if (sectorBytes == 0) return result::kInvalidParameter;
  if (text.size() > kMaxRescueMapBytes) return fail(0, "the map is too large to be a mapfile");

  bool haveCurrent = false;
  std::uint64_t currentBytes = 0;
  RescuePhase phase = RescuePhase::kCopying;
  int pass = 1;
  std::vector<RescueArea> areas;
  std::uint64_t endBytes = 0;  // where the next area must begin
  std::size_t lineNumber = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto words = SplitWords(line);
    if (words.empty() || words[0].front() == '#') continue;

    if (!haveCurrent) {
      // "pos status [pass]"; maps from ddrescue before 1.21 have no pass.
      if (words.size() < 2 || words.size() > 3) {
        return fail(lineNumber, "expected the current position, status and pass");
      }
      const auto position = ParseNumber(words[0]);
      if (!position) return fail(lineNumber, "the current position is not a number");
      if (words[1].size() != 1 || !IsPhase(words[1][0])) {
        return fail(lineNumber, "unknown current status '" + std::string(words[1]) + "'");
      }
      if (words.size() == 3) {
        const auto number = ParseNumber(words[2]);
        if (!number || *number < 1 || *number > 1000) {
          return fail(lineNumber, "the current pass is not a small number");
        }
        pass = static_cast<int>(*number);
      }
      currentBytes = *position;
      phase = static_cast<RescuePhase>(words[1][0]);
      haveCurrent = true;
      continue;
    }

    if (words.size() != 3) return fail(lineNumber, "expected position, size and status");
    const auto position = ParseNumber(words[0]);
    const auto size = ParseNumber(words[1]);
    if (!position || !size) return fail(lineNumber, "the position or size is not a number");
    if (words[2].size() != 1 || !IsAreaStatus(words[2][0])) {
      return fail(lineNumber, "unknown status '" + std::string(words[2]) + "'");
    }
    if (*position < endBytes) return fail(lineNumber, "overlaps the area before it");
    if (*position > endBytes) {
      return fail(lineNumber, endBytes == 0 ? "the first area does not begin at 0"
                                            : "leaves a gap after the area before it");
    }
    const auto areaEnd = CheckedAdd64(*position, *size);
    if (!areaEnd || *areaEnd > kMaxMapNumber) return fail(lineNumber, "ends beyond any disk");
    if (*position % sectorBytes != 0 || *size % sectorBytes != 0) {
      return fail(lineNumber,
                  "not on a boundary of " + std::to_string(sectorBytes) + "-byte sectors");
    }
    endBytes = *areaEnd;
    if (*size == 0) continue;  // ddrescue may write empty areas; they mark nothing
    areas.push_back({*SectorRun::Make(*position / sectorBytes, *size / sectorBytes),
                     static_cast<RescueStatus>(words[2][0])});
  }
  if (!haveCurrent) return fail(lineNumber, "no current position line: not a mapfile");
  if (areas.empty()) return fail(lineNumber, "the map lists no areas");

  auto map = RescueMap::FromAreas(areas);
  if (!map) return fail(lineNumber, "the areas do not follow each other");
  map->position = std::min(currentBytes / sectorBytes, map->Sectors());
  map->phase = phase;
  map->pass = pass;
  out = std::move(*map);
  error.clear();
  return result::kSuccess;
}

ResultCode SaveRescueMap(const std::string& path, const RescueMap& map, std::uint32_t sectorBytes,
                         const std::vector<std::string>& comments) {
  const std::string text = FormatRescueMap(map, sectorBytes, comments);
  const std::string temporary = path + ".new";
  platform::FileHandle file;
  ResultCode rc = platform::FileHandle::CreateAlways(temporary, file);
  if (rc == result::kSuccess) {
    rc = file.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }
  if (rc == result::kSuccess) rc = file.Flush();
  file.Close();
  if (rc == result::kSuccess) rc = platform::ReplaceFile(temporary, path);
  if (rc != result::kSuccess) platform::RemoveFile(temporary);
  return rc;
}

ResultCode LoadRescueMap(const std::string& path, std::uint32_t sectorBytes, RescueMap& out,
                         std::string& error) {
  platform::FileHandle file;
  if (const ResultCode rc = platform::FileHandle::OpenReadOnly(path, file);
      rc != result::kSuccess) {
    return rc;
  }
  std::uint64_t size = 0;
  if (const ResultCode rc = file.QuerySize(size); rc != result::kSuccess) return rc;
  if (size > kMaxRescueMapBytes) {
    error = "the map is too large to be a mapfile";
    return result::kInvalidData;
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  std::size_t total = 0;
  while (total < text.size()) {
    std::size_t got = 0;
    const ResultCode rc = file.ReadAt(
        total, std::span(reinterpret_cast<std::uint8_t*>(text.data()) + total, text.size() - total),
        got);
    if (rc != result::kSuccess) return rc;
    if (got == 0) break;
    total += got;
  }
  text.resize(total);
  return ParseRescueMap(text, sectorBytes, out, error);
}

}  // namespace keldrive
