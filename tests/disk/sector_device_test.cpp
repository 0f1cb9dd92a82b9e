#include "disk/sector_device.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <numeric>
#include <vector>

#include "platform/file_handle.h"
#include "platform/memory_medium.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

using platform::MemoryMedium;

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
  return bytes;
}

// An image device over memory; the medium stays reachable for failure injection.
struct MemoryDevice {
  explicit MemoryDevice(std::size_t bytes) {
    auto owned = std::make_unique<MemoryMedium>(Pattern(bytes));
    medium = owned.get();
    EXPECT_EQ(AttachImage(device, std::move(owned)), result::kSuccess);
  }
  SectorDevice device;
  MemoryMedium* medium = nullptr;
};

TEST(ReadSectors, ReadsTheLastSectorButNotOneBeyond) {
  MemoryDevice m(100 * 512);
  std::vector<std::uint8_t> buffer(512);
  std::int32_t got = -1;
  ASSERT_EQ(ReadSectors(m.device, buffer, 99, 1, 512, got), result::kSuccess);
  EXPECT_EQ(got, 1);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), m.medium->Bytes().begin() + 99 * 512));

  got = -1;
  EXPECT_EQ(ReadSectors(m.device, buffer, 100, 1, 512, got), result::kInvalidParameter);
  EXPECT_EQ(got, -1) << "a refused read leaves the count alone";
  EXPECT_TRUE(m.medium->ReadRequests().size() == 1) << "nothing is read after a refusal";
}

TEST(ReadSectors, RefusesUnsafeRequestsBeforeReading) {
  struct Case {
    const char* what;
    std::uint64_t start;
    std::int32_t count;
    std::int32_t sectorSize;
    std::size_t bufferBytes;
  };
  const Case cases[] = {
      {"negative count", 0, -1, 512, 512},
      {"zero sector size", 0, 1, 0, 512},
      {"negative sector size", 0, 1, -512, 512},
      {"start + count wraps", UINT64_MAX, 2, 512, 1024},
      {"more than 4 GiB in one read", 0, 0x7FFFFFFF, 4096, 512},
      {"buffer smaller than the read", 0, 2, 512, 1000},
  };
  MemoryDevice m(1 << 20);
  m.device.totalSectors = UINT64_MAX;  // only the request itself can be at fault
  for (const Case& c : cases) {
    std::vector<std::uint8_t> buffer(c.bufferBytes);
    std::int32_t got = -1;
    EXPECT_EQ(ReadSectors(m.device, buffer, c.start, c.count, c.sectorSize, got),
              result::kInvalidParameter)
        << c.what;
    EXPECT_EQ(got, -1) << c.what;
  }
  EXPECT_TRUE(m.medium->ReadRequests().empty());
}

TEST(ReadSectors, SplitsLongReadsInto64KiBPieces) {
  MemoryDevice m(1000 * 512);
  std::vector<std::uint8_t> buffer(300 * 512);
  std::int32_t got = 0;
  ASSERT_EQ(ReadSectors(m.device, buffer, 5, 300, 512, got), result::kSuccess);
  EXPECT_EQ(got, 300);
  EXPECT_EQ(m.medium->ReadRequests(), (std::vector<std::size_t>{65536, 65536, 22528}));
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), m.medium->Bytes().begin() + 5 * 512));
}

TEST(ReadSectors, ContinuesAfterShortPieces) {
  MemoryDevice m(64 * 512);
  m.medium->SetMaxPieceBytes(1000);
  std::vector<std::uint8_t> buffer(64 * 512);
  std::int32_t got = 0;
  ASSERT_EQ(ReadSectors(m.device, buffer, 0, 64, 512, got), result::kSuccess);
  EXPECT_EQ(got, 64);
  EXPECT_EQ(buffer, m.medium->Bytes());
}

TEST(ReadSectors, ReportsTheWholeSectorsBeforeAFailure) {
  MemoryDevice m(100 * 512);
  m.medium->FailSector(10);
  std::vector<std::uint8_t> buffer(50 * 512);
  std::int32_t got = -1;
  EXPECT_EQ(ReadSectors(m.device, buffer, 0, 50, 512, got), result::kReadFault);
  EXPECT_EQ(got, 10);

  // Counted in the caller's sector size: 10 sectors of 512 bytes are 2 of 2048.
  got = -1;
  EXPECT_EQ(ReadSectors(m.device, buffer, 0, 12, 2048, got), result::kReadFault);
  EXPECT_EQ(got, 2);
}

TEST(ReadSectors, DeliversEverySectorAroundUnreadableOnes) {
  struct Case {
    const char* what;
    std::vector<std::uint64_t> bad;  // 512-byte sectors of the medium
    std::int32_t sectorSize;
    std::vector<std::uint32_t> unreadable;  // in the read's own sectors
    std::uint64_t counted;                  // 512-byte sectors on the device's record
  };
  const Case cases[] = {
      {"one bad sector in the middle", {10}, 512, {10}, 1},
      {"the first and the last sector", {0, 299}, 512, {0, 299}, 2},
      {"a run across two pieces", {126, 127, 128, 129}, 512, {126, 127, 128, 129}, 4},
      {"a bad 512-byte part of a 4096-byte sector", {17}, 4096, {2}, 8},
  };
  for (const Case& c : cases) {
    MemoryDevice m(300 * 512);
    for (const std::uint64_t sector : c.bad) m.medium->FailSector(sector);
    const auto count = static_cast<std::int32_t>(300 * 512 / c.sectorSize);
    std::vector<std::uint8_t> buffer(300 * 512, 0xAA);
    std::vector<std::uint32_t> unreadable;
    std::int32_t got = -1;
    EXPECT_EQ(ReadSectors(m.device, buffer, 0, count, c.sectorSize, got, unreadable),
              result::kReadFault)
        << c.what;
    EXPECT_EQ(unreadable, c.unreadable) << c.what;
    EXPECT_EQ(got, static_cast<std::int32_t>(c.unreadable.front())) << c.what;
    // Readable sectors hold the medium's bytes, unreadable ones zeros, never stale data.
    const auto size = static_cast<std::size_t>(c.sectorSize);
    for (std::size_t s = 0; s < buffer.size() / size; ++s) {
      const bool bad = std::find(unreadable.begin(), unreadable.end(), s) != unreadable.end();
      const auto first = buffer.begin() + static_cast<std::ptrdiff_t>(s * size);
      const bool same =
          std::equal(first, first + static_cast<std::ptrdiff_t>(size),
                     m.medium->Bytes().begin() + static_cast<std::ptrdiff_t>(s * size));
      const bool zero = std::all_of(first, first + static_cast<std::ptrdiff_t>(size),
                                    [](std::uint8_t b) { return b == 0; });
      EXPECT_TRUE(bad ? zero : same) << c.what << ", sector " << s;
    }
    EXPECT_EQ(m.device.unreadable->Count(), c.counted) << c.what;
    // A second read of the same sectors, through a shared record, counts nothing new.
    SectorDevice shared = ShareDevice(m.device);
    ReadSectors(shared, buffer, 0, count, c.sectorSize, got, unreadable);
    EXPECT_EQ(m.device.unreadable->Count(), c.counted) << c.what;
  }
}

TEST(ReadSectors, ASoundReadIsReadOnce) {
  MemoryDevice m(300 * 512);
  std::vector<std::uint8_t> buffer(300 * 512);
  std::vector<std::uint32_t> unreadable{7};
  std::int32_t got = 0;
  ASSERT_EQ(ReadSectors(m.device, buffer, 0, 300, 512, got, unreadable), result::kSuccess);
  EXPECT_TRUE(unreadable.empty());
  EXPECT_EQ(m.medium->ReadRequests().size(), 3u);
  EXPECT_TRUE(m.device.unreadable->Empty());
}

TEST(DescribeUnreadable, NamesRunsOfSectorsAndTheMedium) {
  EXPECT_EQ(DescribeUnreadable({70}, "disk.img"), "sector 70 of disk.img could not be read");
  EXPECT_EQ(DescribeUnreadable({70, 71, 72, 90}, "/dev/sdb"),
            "sectors 70-72, 90 of /dev/sdb could not be read");
  std::vector<std::uint64_t> many;
  for (std::uint64_t i = 0; i < 20; ++i) many.push_back(i * 2);
  EXPECT_EQ(DescribeUnreadable(many, "m"),
            "sectors 0, 2, 4, 6, 8, 10, 12, 14, ... of m could not be read");
}

TEST(ReadSectors, EndOfMediumInsideTheRangeIsAReadFault) {
  MemoryDevice m(20 * 512);
  m.device.totalSectors = 30;  // a medium that shrank after it was opened
  std::vector<std::uint8_t> buffer(30 * 512);
  std::int32_t got = -1;
  EXPECT_EQ(ReadSectors(m.device, buffer, 10, 20, 512, got), result::kReadFault);
  EXPECT_EQ(got, 10);
}

TEST(ReadSectors, ZeroCountReadsNothing) {
  MemoryDevice m(4 * 512);
  std::vector<std::uint8_t> buffer;
  std::int32_t got = -1;
  EXPECT_EQ(ReadSectors(m.device, buffer, 4, 0, 512, got), result::kSuccess);
  EXPECT_EQ(got, 0);
}

TEST(ReadSectors, ClosedDeviceIsNotRead) {
  MemoryDevice m(4 * 512);
  CloseDevice(m.device);
  CloseDevice(m.device);  // closing twice is harmless
  EXPECT_EQ(m.device.totalSectors, 4u) << "the size survives the close";
  std::vector<std::uint8_t> buffer(512);
  std::int32_t got = -1;
  EXPECT_EQ(ReadSectors(m.device, buffer, 0, 1, 512, got), result::kInvalidHandle);
}

TEST(AttachDisk, SizesFromLengthOrWholeCylinders) {
  platform::DiskGeometry geometry;
  geometry.cylinders = 10;
  geometry.tracksPerCylinder = 255;
  geometry.sectorsPerTrack = 63;
  geometry.bytesPerSector = 4096;

  auto disk = std::make_unique<MemoryMedium>(std::vector<std::uint8_t>(1 << 20));
  disk->SetGeometry(geometry);
  SectorDevice device;
  ASSERT_EQ(AttachDisk(device, std::move(disk)), result::kSuccess);
  EXPECT_EQ(device.totalSectors, (1u << 20) / 4096) << "length / the disk's sector size";

  auto noLength = std::make_unique<MemoryMedium>(std::vector<std::uint8_t>(1 << 20));
  noLength->SetGeometry(geometry);
  noLength->FailSizeQuery(result::kNotSupported);
  ASSERT_EQ(AttachDisk(device, std::move(noLength)), result::kSuccess);
  EXPECT_EQ(device.totalSectors, 10u * 255 * 63) << "whole cylinders when the length is unknown";

  geometry.bytesPerSector = 0;
  auto noSectorSize = std::make_unique<MemoryMedium>(std::vector<std::uint8_t>(1 << 20));
  noSectorSize->SetGeometry(geometry);
  ASSERT_EQ(AttachDisk(device, std::move(noSectorSize)), result::kSuccess);
  EXPECT_EQ(device.totalSectors, (1u << 20) / 512) << "no sector size is read as 512";

  auto noGeometry = std::make_unique<MemoryMedium>(std::vector<std::uint8_t>(1 << 20));
  noGeometry->FailGeometryQuery(result::kNotReady);
  EXPECT_EQ(AttachDisk(device, std::move(noGeometry)), result::kNotReady);
  EXPECT_TRUE(device.IsOpen()) << "the owner closes a half-opened device";
}

TEST(OpenImageFile, CountsWhole512ByteSectorsOnly) {
  testing::TempDir dir;
  const std::string path = dir.File("odd.img");
  testing::WriteFile(path, Pattern(1'000'000));

  SectorDevice device;
  ASSERT_EQ(OpenImageFile(path, device), result::kSuccess);
  EXPECT_EQ(device.totalSectors, 1953u);

  std::vector<std::uint8_t> buffer(512);
  std::int32_t got = 0;
  EXPECT_EQ(ReadSectors(device, buffer, 1952, 1, 512, got), result::kSuccess);
  EXPECT_EQ(ReadSectors(device, buffer, 1953, 1, 512, got), result::kInvalidParameter)
      << "the trailing 64 bytes lie outside the device";

  SectorDevice second;  // the same medium open twice at once
  ASSERT_EQ(OpenImageFile(path, second), result::kSuccess);
  EXPECT_EQ(ReadSectors(second, buffer, 0, 1, 512, got), result::kSuccess);
}

TEST(OpenImageFile, RefusesWhatCannotBeReadAsAMediumWithoutWaiting) {
  testing::TempDir dir;
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string socketPath = dir.File("socket");
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  // A FIFO without a writer would block an ordinary open for ever.
  for (const std::string& path : {fifo, socketPath, std::string("/dev/null")}) {
    SectorDevice device;
    EXPECT_EQ(OpenImageFile(path, device), result::kBadDeviceType) << path;
    EXPECT_FALSE(device.IsOpen()) << path;
  }
  ::close(listener);
}

TEST(OpenImageFile, ReportsMissingFilesAndFolders) {
  testing::TempDir dir;
  SectorDevice device;
  EXPECT_EQ(OpenImageFile(dir.File("missing.img"), device), result::kFileNotFound);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(OpenImageFile(dir.path().string(), device), result::kDirectory);
}

// Root ignores file permissions, so the open runs in a child that has given up root.
TEST(OpenImageFile, OpensAnImageThatIsReadOnlyOnDisk) {
  testing::TempDir dir;
  const std::string path = dir.File("readonly.img");
  testing::WriteFile(path, Pattern(4096));
  std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(3);
    SectorDevice device;
    if (OpenImageFile(path, device) != result::kSuccess) ::_exit(1);
    std::vector<std::uint8_t> buffer(512);
    std::int32_t got = 0;
    ::_exit(ReadSectors(device, buffer, 7, 1, 512, got) == result::kSuccess && got == 1 ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ReadBytes, ReadsFromThePositionInPiecesAndStopsAtTheEnd) {
  testing::TempDir dir;
  const std::string path = dir.File("log.bin");
  const auto content = Pattern(200'000);
  testing::WriteFile(path, content);
  platform::FileHandle file;
  ASSERT_EQ(platform::FileHandle::OpenReadOnly(path, file), result::kSuccess);
  ASSERT_EQ(file.Seek(1000), result::kSuccess);

  std::vector<std::uint8_t> buffer(150'000);
  std::uint32_t got = 0;
  ASSERT_EQ(ReadBytes(file, buffer, got), result::kSuccess);
  EXPECT_EQ(got, 150'000u);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), content.begin() + 1000));

  EXPECT_EQ(ReadBytes(file, buffer, got), result::kReadFault) << "only 49,000 bytes are left";
  EXPECT_EQ(got, 49'000u);
  EXPECT_EQ(ReadBytes(file, std::span<std::uint8_t>(), got), result::kSuccess);
  EXPECT_EQ(got, 0u);
}

}  // namespace
}  // namespace keldrive
