#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disk/sector_run.h"
#include "platform/result_code.h"

namespace keldrive {

// What is known of a stretch of the source of an image copy. The values are the
// characters of GNU ddrescue's mapfiles, so a map can be read by ddrescue and ddrescuelog.
enum class RescueStatus : char {
  kNonTried = '?',    // not read yet
  kNonTrimmed = '*',  // a read failed somewhere inside; its edges are still to be read
  kNonScraped = '/',  // edges read; the inside is still to be read sector by sector
  kBadSector = '-',   // could not be read; zeros in the image
  kFinished = '+',    // copied
};

// The pass a copy was in when its map was saved: the map's current-status character.
enum class RescuePhase : char {
  kCopying = '?',
  kTrimming = '*',
  kScraping = '/',
  kRetrying = '-',
  kFilling = 'F',     // written by ddrescue's fill mode only
  kGenerating = 'G',  // written by ddrescue's generate mode only
  kFinished = '+',
};

struct RescueArea {
  SectorRun run;
  RescueStatus status = RescueStatus::kNonTried;

  friend bool operator==(const RescueArea&, const RescueArea&) = default;
};

// Which sectors of a source are copied, unreadable or still to be read, as adjacent areas
// that cover sectors 0 to Sectors() without gaps. Neighbours of the same status are kept
// merged, as ddrescue keeps them, so a map of a healthy disk is one line long.
class RescueMap {
 public:
  RescueMap() = default;
  // A map of `sectors` sectors, none of them tried.
  explicit RescueMap(std::uint64_t sectors);
  // A map from areas given in order; nothing when they do not start at sector 0 or leave
  // gaps or overlaps between them.
  static std::optional<RescueMap> FromAreas(const std::vector<RescueArea>& areas);

  std::uint64_t Sectors() const { return sectors_; }
  // Gives `run` (cut to the map) the status, splitting and merging areas as needed.
  void Mark(SectorRun run, RescueStatus status);
  RescueStatus StatusOf(std::uint64_t sector) const;
  // Sectors with this status.
  std::uint64_t Count(RescueStatus status) const;
  std::vector<RescueArea> Areas() const;
  std::vector<SectorRun> RunsWith(RescueStatus status) const;
  // The first area with the status that ends after `from`, cut to begin no earlier.
  std::optional<SectorRun> FirstFrom(std::uint64_t from, RescueStatus status) const;
  // The last area with the status that begins before `end`, cut to end no later.
  std::optional<SectorRun> LastBefore(std::uint64_t end, RescueStatus status) const;

  // Where the copy was and in which pass, so that a resumed copy carries on there.
  std::uint64_t position = 0;
  RescuePhase phase = RescuePhase::kCopying;
  int pass = 1;

  friend bool operator==(const RescueMap&, const RescueMap&) = default;

 private:
  struct Extent {
    std::uint64_t count = 0;
    RescueStatus status = RescueStatus::kNonTried;
    friend bool operator==(const Extent&, const Extent&) = default;
  };
  using Extents = std::map<std::uint64_t, Extent>;  // first sector → extent

  // Makes `sector` the first sector of an extent, when it lies inside the map.
  void SplitAt(std::uint64_t sector);
  static std::size_t Index(RescueStatus status);

  Extents extents_;
  std::array<std::uint64_t, 5> counts_{};
  std::uint64_t sectors_ = 0;
};

// Maps larger than this are refused unread: a map this long would describe millions of
// separate bad areas, far more than any disk worth imaging has.
inline constexpr std::uint64_t kMaxRescueMapBytes = 256ull << 20;

// The map as a GNU ddrescue mapfile, positions and sizes in bytes of `sectorBytes`; the
// map's bytes must fit in 63 bits, as those of any real medium do. Each of `comments`
// becomes a line of its own after "# ".
std::string FormatRescueMap(const RescueMap& map, std::uint32_t sectorBytes,
                            const std::vector<std::string>& comments);

// Reads a mapfile, from Keldrive or from ddrescue. Nothing in it is trusted: numbers must
// fit, areas must start at 0, follow each other without gaps or overlaps and lie on
// `sectorBytes` boundaries. On failure returns kInvalidData and a message naming the line.
ResultCode ParseRescueMap(std::string_view text, std::uint32_t sectorBytes, RescueMap& out,
                          std::string& error);

// Writes the mapfile so that at every moment `path` holds either the old map or the new
// one, whole: a temporary file beside it, flushed, then put in its place.
ResultCode SaveRescueMap(const std::string& path, const RescueMap& map, std::uint32_t sectorBytes,
                         const std::vector<std::string>& comments);

// Reads and parses a mapfile; a missing file gives kFileNotFound.
ResultCode LoadRescueMap(const std::string& path, std::uint32_t sectorBytes, RescueMap& out,
                         std::string& error);

}  // namespace keldrive
