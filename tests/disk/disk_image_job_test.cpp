#include "disk/disk_image_job.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <set>

#include "platform/memory_medium.h"
#include "support/fuse_eio.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

constexpr std::uint64_t kSector = 512;

SectorRun Sectors(std::uint64_t first, std::uint64_t count) {
  return *SectorRun::Make(first, count);
}

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed = 7) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random() | 1);  // never zero
  return bytes;
}

// A medium in memory that fails reads touching the given sectors.
SectorDevice FailingDevice(const std::vector<std::uint8_t>& bytes,
                           const std::set<std::uint64_t>& bad, std::size_t maxPiece = 0) {
  auto medium = std::make_unique<platform::MemoryMedium>(bytes, "failing");
  for (const std::uint64_t sector : bad) medium->FailSector(sector);
  medium->SetMaxPieceBytes(maxPiece);
  SectorDevice device;
  EXPECT_EQ(AttachImage(device, std::move(medium)), result::kSuccess);
  return device;
}

// The source with zeros in the unreadable sectors: what the image must hold.
std::vector<std::uint8_t> Expected(std::vector<std::uint8_t> bytes,
                                   const std::set<std::uint64_t>& bad) {
  for (const std::uint64_t sector : bad) {
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(sector * kSector), kSector, 0);
  }
  return bytes;
}

// The areas a map of `sectors` sectors must end with: '-' exactly on `bad`, '+' elsewhere.
std::vector<RescueArea> ExpectedAreas(std::uint64_t sectors, const std::set<std::uint64_t>& bad) {
  RescueMap map(sectors);
  map.Mark(Sectors(0, sectors), RescueStatus::kFinished);
  for (const std::uint64_t sector : bad) map.Mark(Sectors(sector, 1), RescueStatus::kBadSector);
  return map.Areas();
}

std::set<std::uint64_t> Stretch(std::uint64_t first, std::uint64_t count) {
  std::set<std::uint64_t> sectors;
  for (std::uint64_t s = first; s < first + count; ++s) sectors.insert(s);
  return sectors;
}

RescueMap LoadMap(const std::string& path) {
  RescueMap map;
  std::string error;
  EXPECT_EQ(LoadRescueMap(path, kSector, map, error), result::kSuccess) << error;
  return map;
}

TEST(DiskImageJob, CopiesAroundUnreadableSectorsAndMapsExactlyThem) {
  constexpr std::size_t kBytes = 6 << 20;
  const auto bytes = RandomBytes(kBytes);
  const std::uint64_t last = kBytes / kSector - 1;
  std::set<std::uint64_t> scattered{0, 5000, 5001, 5003, 5010, last};
  for (std::uint64_t s = 9000; s < 9400; ++s) scattered.insert(s);
  struct Case {
    const char* name;
    std::set<std::uint64_t> bad;
    std::uint32_t pieceBytes = kImagePieceBytes;
    std::size_t maxPiece = 0;  // short reads from the medium
  };
  const Case cases[] = {
      // 64 KiB from sector 1001: starts at byte 512512, on no 64 KiB boundary.
      {"64 KiB stretch", Stretch(1001, 128)},
      {"64 KiB stretch, 64 KiB pieces", Stretch(1001, 128), 64 * 1024},
      {"64 KiB stretch, 4 MiB pieces, short reads", Stretch(1001, 128), 4 << 20, 3000},
      {"first, last, a cluster and a long stretch", scattered},
      {"nothing bad", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string target = dir.File("copy.img");
    ImageCopyOptions options;
    options.pieceBytes = c.pieceBytes;
    ImageCopySummary summary;
    const ResultCode rc =
        CopyDiskToImage(FailingDevice(bytes, c.bad, c.maxPiece), 512, Sectors(0, 0), target,
                        options, nullptr, nullptr, summary);
    EXPECT_EQ(rc, c.bad.empty() ? result::kSuccess : result::kReadFault);
    EXPECT_TRUE(testing::ReadFileBytes(target) == Expected(bytes, c.bad));
    const RescueMap map = LoadMap(target + ".map");
    EXPECT_EQ(map.Areas(), ExpectedAreas(kBytes / kSector, c.bad));
    EXPECT_EQ(map.phase, RescuePhase::kFinished);
    EXPECT_EQ(summary.bytesUnreadable, c.bad.size() * kSector);
    EXPECT_EQ(summary.bytesCopied, kBytes - c.bad.size() * kSector);
    EXPECT_EQ(summary.bytesPending, 0u);
    EXPECT_EQ(summary.unreadable, map.RunsWith(RescueStatus::kBadSector));
  }
}

TEST(DiskImageJob, ReadsEachUnreadableSectorOnceAfterTheCopyingPasses) {
  // A failing disk is read as little as possible where it fails: after a failed large
  // read, the 64 KiB read that failed is the only part trimmed sector by sector.
  const auto bytes = RandomBytes(4 << 20);
  auto medium = std::make_unique<platform::MemoryMedium>(bytes, "failing");
  platform::MemoryMedium& probe = *medium;
  for (const std::uint64_t s : Stretch(3000, 4)) medium->FailSector(s);
  SectorDevice device;
  ASSERT_EQ(AttachImage(device, std::move(medium)), result::kSuccess);
  testing::TempDir dir;
  ImageCopySummary summary;
  ASSERT_EQ(CopyDiskToImage(device, 512, Sectors(0, 0), dir.File("copy.img"), {}, nullptr, nullptr,
                            summary),
            result::kReadFault);
  std::size_t single = 0;
  for (const std::size_t request : probe.ReadRequests()) single += request == kSector;
  // Trimming reads the good sectors of that 64 KiB read and the first bad one from each
  // side; scraping reads the two bad ones between.
  EXPECT_EQ(single, 128u - 4 + 2 + 2);
}

// Stops a copy after a given number of progress calls.
struct StopAfter {
  int calls = 0;
  int stopAt = 0;
  std::int32_t lastPercent = -1;
  std::uint64_t lastTotal = 0;
};

std::int32_t CountAndStop(void* context, std::int32_t percent, std::uint64_t,
                          std::uint64_t sectorsTotal, std::int32_t, const ImageCopyState&) {
  auto* stop = static_cast<StopAfter*>(context);
  stop->lastPercent = percent;
  stop->lastTotal = sectorsTotal;
  return ++stop->calls == stop->stopAt ? result::kCancelled : 0;
}

TEST(DiskImageJob, ACopyStoppedAndResumedEqualsOneUninterruptedCopy) {
  const auto bytes = RandomBytes(3 << 20);
  std::set<std::uint64_t> bad = Stretch(1001, 128);
  bad.insert({3000, 3001, 4500});
  testing::TempDir dir;

  ImageCopySummary whole;
  ASSERT_EQ(CopyDiskToImage(FailingDevice(bytes, bad), 512, Sectors(0, 0), dir.File("whole.img"),
                            {}, nullptr, nullptr, whole),
            result::kReadFault);
  const auto wholeImage = testing::ReadFileBytes(dir.File("whole.img"));
  const auto wholeAreas = LoadMap(dir.File("whole.img.map")).Areas();

  // Stops early in the first pass, in the middle of it, and while trimming and scraping
  // (after the 3 copying pieces there are several hundred single-sector reads).
  for (const int stopAt : {1, 2, 3, 5, 60, 200, 300}) {
    SCOPED_TRACE(stopAt);
    const std::string target = dir.File("stopped.img");
    ImageCopyOptions options;
    StopAfter stop{0, stopAt};
    ImageCopySummary summary;
    ASSERT_EQ(CopyDiskToImage(FailingDevice(bytes, bad), 512, Sectors(0, 0), target, options,
                              &CountAndStop, &stop, summary),
              result::kCancelled);
    EXPECT_NE(summary.bytesPending, 0u);
    EXPECT_EQ(LoadMap(target + ".map").Count(RescueStatus::kNonTried) * kSector +
                  LoadMap(target + ".map").Count(RescueStatus::kNonTrimmed) * kSector +
                  LoadMap(target + ".map").Count(RescueStatus::kNonScraped) * kSector,
              summary.bytesPending);

    options.resume = true;
    StopAfter more{0, 0};
    ASSERT_EQ(CopyDiskToImage(FailingDevice(bytes, bad), 512, Sectors(0, 0), target, options,
                              &CountAndStop, &more, summary),
              result::kReadFault);
    EXPECT_TRUE(summary.resumed);
    EXPECT_EQ(more.lastPercent, 100);
    EXPECT_EQ(more.lastTotal, bytes.size() / kSector);
    EXPECT_TRUE(testing::ReadFileBytes(target) == wholeImage);
    EXPECT_EQ(LoadMap(target + ".map").Areas(), wholeAreas);
  }
}

TEST(DiskImageJob, ReplacesAnOlderLongerTargetWhole) {
  testing::TempDir dir;
  const std::string target = dir.File("copy.img");
  testing::WriteFile(target, std::vector<std::uint8_t>(5 << 20, 0xAA));
  testing::WriteFile(target + ".map", std::string("0 + 1\n0 0x500000 +\n"));
  const auto bytes = RandomBytes(1 << 20);
  ImageCopySummary summary;
  ASSERT_EQ(CopyDiskToImage(FailingDevice(bytes, {}), 512, Sectors(0, 0), target, {}, nullptr,
                            nullptr, summary),
            result::kSuccess);
  EXPECT_FALSE(summary.resumed);
  EXPECT_TRUE(testing::ReadFileBytes(target) == bytes);
  EXPECT_EQ(LoadMap(target + ".map").Sectors(), bytes.size() / kSector);
}

TEST(DiskImageJob, ResumeNeedsAMapThatFitsTheSource) {
  testing::TempDir dir;
  const auto bytes = RandomBytes(1 << 20);
  ImageCopyOptions options;
  options.resume = true;
  ImageCopySummary summary;

  // Nothing started yet: a fresh copy.
  const std::string fresh = dir.File("fresh.img");
  EXPECT_EQ(CopyDiskToImage(FailingDevice(bytes, {}), 512, Sectors(0, 0), fresh, options, nullptr,
                            nullptr, summary),
            result::kSuccess);
  EXPECT_TRUE(testing::ReadFileBytes(fresh) == bytes);

  // An image without its map: what it holds is unknown.
  const std::string orphan = dir.File("orphan.img");
  testing::WriteFile(orphan, std::vector<std::uint8_t>(100, 1));
  EXPECT_EQ(CopyDiskToImage(FailingDevice(bytes, {}), 512, Sectors(0, 0), orphan, options, nullptr,
                            nullptr, summary),
            result::kFileNotFound);
  EXPECT_NE(summary.message.find("nothing to resume from"), std::string::npos);
  EXPECT_EQ(testing::ReadFileBytes(orphan).size(), 100u) << "left as it was";

  // A map of another size, or a damaged one.
  testing::WriteFile(orphan + ".map", std::string("0 ? 1\n0 0x200 ?\n"));
  EXPECT_EQ(CopyDiskToImage(FailingDevice(bytes, {}), 512, Sectors(0, 0), orphan, options, nullptr,
                            nullptr, summary),
            result::kInvalidData);
  EXPECT_NE(summary.message.find("describes 1 sectors, the source has 2048"), std::string::npos)
      << summary.message;
  testing::WriteFile(orphan + ".map", std::string("0 ? 1\n0 0x200 ?\n0x100 0x200 +\n"));
  EXPECT_EQ(CopyDiskToImage(FailingDevice(bytes, {}), 512, Sectors(0, 0), orphan, options, nullptr,
                            nullptr, summary),
            result::kInvalidData);
  EXPECT_NE(summary.message.find("line 3: overlaps"), std::string::npos) << summary.message;

  // A map from ddrescue that stopped half-way is carried on. What the image held in the
  // untried half is overwritten, with zeros where the source cannot be read, and an old
  // tail past the source's end is cut off.
  testing::WriteFile(orphan + ".map", std::string("0x80000 ? 1\n0 0x80000 +\n0x80000 0x80000 ?\n"));
  std::vector<std::uint8_t> half(bytes.begin(), bytes.begin() + (512 << 10));
  half.resize(bytes.size() + 4096, 0xAA);
  testing::WriteFile(orphan, half);
  EXPECT_EQ(CopyDiskToImage(FailingDevice(bytes, {1500}), 512, Sectors(0, 0), orphan, options,
                            nullptr, nullptr, summary),
            result::kReadFault);
  EXPECT_TRUE(testing::ReadFileBytes(orphan) == Expected(bytes, {1500}));
}

TEST(DiskImageJob, CopiesAnAreaAndNeverWritesOverItsSource) {
  testing::TempDir dir;
  const auto bytes = RandomBytes(1 << 20);
  const std::string source = dir.File("source.img");
  testing::WriteFile(source, bytes);

  // A partition: sectors 100 to 599.
  SectorDevice device;
  ASSERT_EQ(OpenImageFile(source, device), result::kSuccess);
  ImageCopySummary summary;
  const std::string part = dir.File("part.img");
  ASSERT_EQ(CopyDiskToImage(device, 512, Sectors(100, 500), part, {}, nullptr, nullptr, summary),
            result::kSuccess);
  EXPECT_TRUE(testing::ReadFileBytes(part) ==
              std::vector<std::uint8_t>(bytes.begin() + 100 * 512, bytes.begin() + 600 * 512));
  EXPECT_EQ(CopyDiskToImage(device, 512, Sectors(2000, 100), part, {}, nullptr, nullptr, summary),
            result::kInvalidParameter)
      << "beyond the medium";

  // The source as its own target, or as the map, through another name.
  std::filesystem::create_symlink(source, dir.File("link.img"));
  EXPECT_EQ(CopyDiskToImage(device, 512, Sectors(0, 0), dir.File("link.img"), {}, nullptr, nullptr,
                            summary),
            result::kInvalidParameter);
  EXPECT_NE(summary.message.find("is the medium being copied"), std::string::npos);
  ImageCopyOptions options;
  options.mapPath = source;
  EXPECT_EQ(CopyDiskToImage(device, 512, Sectors(0, 0), dir.File("other.img"), options, nullptr,
                            nullptr, summary),
            result::kInvalidParameter);
  EXPECT_TRUE(testing::ReadFileBytes(source) == bytes);
}

// Runs a shell command and returns what it printed; false when it failed.
bool Shell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return false;
  char buffer[256];
  std::string text;
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
  if (output != nullptr) *output = text;
  return ::pclose(pipe) == 0;
}

TEST(DiskImageJob, CopiesAroundARealKernelReadErrorAsDdrescueDoes) {
  testing::TempDir dir;
  const auto bytes = RandomBytes(2 << 20);
  const std::string source = dir.File("source.img");
  testing::WriteFile(source, bytes);
  // 64 KiB unreadable from byte 512512 (sector 1001), and one sector near the end.
  testing::FuseEioFile medium(source, {{512512, 65536}, {2000 * 512, 512}});
  if (!medium.Ready()) GTEST_SKIP() << medium.SkipReason();
  std::set<std::uint64_t> bad = Stretch(1001, 128);
  bad.insert(2000);

  SectorDevice device;
  ASSERT_EQ(OpenImageFile(medium.Path(), device), result::kSuccess);
  const std::string target = dir.File("copy.img");
  ImageCopySummary summary;
  EXPECT_EQ(CopyDiskToImage(device, 512, Sectors(0, 0), target, {}, nullptr, nullptr, summary),
            result::kReadFault);
  EXPECT_TRUE(testing::ReadFileBytes(target) == Expected(bytes, bad));
  const RescueMap map = LoadMap(target + ".map");
  EXPECT_EQ(map.Areas(), ExpectedAreas(bytes.size() / kSector, bad));

  // GNU ddrescue on the same medium finds the same bad areas.
  if (!Shell("command -v ddrescue")) GTEST_SKIP() << "ddrescue (gddrescue) is not installed";
  const std::string theirs = dir.File("ddrescue.img");
  Shell("ddrescue -q " + medium.Path() + " " + theirs + " " + theirs + ".map");
  RescueMap theirMap;
  std::string error;
  ASSERT_EQ(LoadRescueMap(theirs + ".map", kSector, theirMap, error), result::kSuccess) << error;
  EXPECT_EQ(theirMap.Areas(), map.Areas());
  EXPECT_TRUE(testing::ReadFileBytes(theirs) == testing::ReadFileBytes(target));
}

}  // namespace
}  // namespace keldrive
