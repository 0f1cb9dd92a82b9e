#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "carve_test_support.h"
#include "carve_walk.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace keldrive::testing {
namespace {

using namespace std::string_literals;

std::uint64_t BytesRead(const platform::MemoryMedium& medium) {
  const auto& requests = medium.ReadRequests();
  return std::accumulate(requests.begin(), requests.end(), std::uint64_t{0});
}

struct WalkOutcome {
  std::vector<std::tuple<std::uint64_t, std::string, std::uint64_t>> files;
  std::uint64_t bytesRead = 0;
};

WalkOutcome Walk(const std::vector<std::uint8_t>& image, std::size_t bufferBytes, bool share) {
  TempDir dir;
  MemoryDevice device(image);
  CFileTypeRecovery engine(ScanEnvironment{[&] { return dir.File("scan"); }, dir.File("p"), {}});
  EXPECT_EQ(engine.AttachDevice(ShareDevice(device.device), 0, device.device.totalSectors, 0),
            result::kSuccess);
  EXPECT_EQ(engine.BeginCarveScan(), result::kSuccess);
  CarveContext context;
  std::uint64_t found = 0;
  EXPECT_EQ(WalkAndCarve(engine, context, device.device, bufferBytes, share, found),
            result::kSuccess);
  WalkOutcome outcome;
  outcome.bytesRead = BytesRead(*device.medium);
  std::vector<FoundFile> listed;
  engine.ListFolder(nullptr, 0, listed);
  for (const FoundFile& f : listed) outcome.files.emplace_back(f.entrySector, f.Name(), f.size);
  return outcome;
}

// Sizing from the walk's own buffer finds exactly what reading the medium again finds,
// and reads less of it.
TEST(WalkWindow, SharedBufferCarvesTheSameAndReadsLess) {
  for (const char* name : {"pictures", "documents", "media"}) {
    const auto image = LoadFixture("carve/"s + name + ".img.gz");
    for (const std::size_t buffer : {std::size_t{64} << 10, std::size_t{1} << 20}) {
      SCOPED_TRACE(std::string(name) + " buffer " + std::to_string(buffer));
      const WalkOutcome alone = Walk(image, buffer, false);
      const WalkOutcome shared = Walk(image, buffer, true);
      EXPECT_FALSE(alone.files.empty());
      EXPECT_EQ(shared.files, alone.files);
      EXPECT_LT(shared.bytesRead, alone.bytesRead);
      // With a window the size of the image nothing but the walk's own reads is left.
      if (buffer >= image.size()) {
        EXPECT_EQ(shared.bytesRead, image.size());
      }
    }
  }
}

// Reads that the window holds in part take that part from it and the rest from the
// medium; a sector the medium cannot give fails the read only outside the window.
TEST(WalkWindow, ReadsCombineTheWindowAndTheMedium) {
  std::vector<std::uint8_t> bytes(32 * 512);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i / 512);
  MemoryDevice device(bytes);
  SectorProbe probe;
  probe.medium = &device.device;
  std::vector<std::uint8_t> window(bytes.begin() + 8 * 512, bytes.begin() + 16 * 512);
  probe.window = {8, window};  // sectors 8 to 15, as the walk holds them
  device.medium->FailSector(12);

  std::vector<std::uint8_t> out(20 * 512);
  const auto sectorsOf = [&](std::size_t count) {
    std::vector<std::uint8_t> ids;
    for (std::size_t s = 0; s < count; ++s) ids.push_back(out[s * 512]);
    return ids;
  };
  const auto readsBefore = device.medium->ReadRequests().size();
  ASSERT_EQ(probe.ReadThroughWindow(out, 10, 4), result::kSuccess);  // inside, over sector 12
  EXPECT_EQ(sectorsOf(4), (std::vector<std::uint8_t>{10, 11, 12, 13}));
  EXPECT_EQ(device.medium->ReadRequests().size(), readsBefore);
  ASSERT_EQ(probe.ReadThroughWindow(out, 4, 16), result::kSuccess);  // around the window
  EXPECT_EQ(sectorsOf(16),
            (std::vector<std::uint8_t>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
  EXPECT_EQ(BytesRead(*device.medium), 8u * 512);
  device.medium->FailSector(17);
  EXPECT_EQ(probe.ReadThroughWindow(out, 14, 4), result::kReadFault);
  // A span straight out of the window, none when it holds only part of the sectors.
  EXPECT_EQ(probe.HeldSectors(15, 1).data(), window.data() + 7 * 512);
  EXPECT_TRUE(probe.HeldSectors(15, 2).empty());
  EXPECT_TRUE(probe.HeldSectors(7, 1).empty());
}

}  // namespace
}  // namespace keldrive::testing
