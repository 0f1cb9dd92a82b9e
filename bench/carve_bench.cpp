// Identification speed of the signature detectors over 1 GiB of sectors that match
// nothing (random data, zeros), with the first-byte index and with the plain table walk,
// and the speed of a carving walk over a realistic mix: free space with real files in it
// (the carving fixtures), stepping over each file found as the carving engine does.
//
//   keldrive_bench --benchmark_filter=Carve
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "carve/carve_context.h"
#include "carve/identify.h"
#include "disk/sector_device.h"
#include "platform/memory_medium.h"

namespace {

using keldrive::FileTypeCode;

constexpr std::size_t kSector = 512;
constexpr std::uint64_t kGiB = 1ull << 30;
constexpr std::size_t kPatternBytes = 16 << 20;  // walked over and over up to 1 GiB

std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(count);
  std::mt19937_64 engine(seed);
  for (std::size_t i = 0; i + 8 <= count; i += 8) {
    const std::uint64_t value = engine();
    for (std::size_t b = 0; b < 8; ++b) bytes[i + b] = static_cast<std::uint8_t>(value >> (8 * b));
  }
  return bytes;
}

std::vector<std::uint8_t> Fixture(const char* name) {
  const auto path =
      std::filesystem::path(__FILE__).parent_path() / "../tests/fixtures/carve" / name;
  std::vector<std::uint8_t> bytes;
  FILE* pipe = ::popen(("gzip -dc '" + path.string() + "' 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return bytes;
  std::vector<std::uint8_t> buffer(1 << 16);
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
  }
  ::pclose(pipe);
  return bytes;
}

// Free space as a disk holds it: mostly old data, some zeroed stretches, and now and then
// a whole file system's worth of real files.
std::vector<std::uint8_t> RealisticMix() {
  auto bytes = RandomBytes(kPatternBytes * 4, 11);
  for (std::size_t at = 0; at < bytes.size(); at += 4 << 20) {
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at),
              bytes.begin() + static_cast<std::ptrdiff_t>(at + (1 << 20)), 0);
  }
  std::size_t at = 1536 << 10;
  for (const char* name : {"pictures.img.gz", "documents.img.gz", "media.img.gz"}) {
    const auto image = Fixture(name);
    for (std::size_t copy = at; copy + image.size() < bytes.size(); copy += 12 << 20) {
      std::copy(image.begin(), image.end(), bytes.begin() + static_cast<std::ptrdiff_t>(copy));
    }
    at += 3 << 20;
  }
  return bytes;
}

struct Medium {
  keldrive::SectorDevice device;
  const std::vector<std::uint8_t>* bytes = nullptr;

  explicit Medium(std::vector<std::uint8_t> content) {
    auto memory = std::make_unique<keldrive::platform::MemoryMedium>(std::move(content));
    bytes = &memory->Bytes();
    keldrive::AttachImage(device, std::move(memory));
  }
};

// IdentifyAndSize on every sector of a pattern that holds no file, until 1 GiB is done.
void IdentifyNonMatching(benchmark::State& state, std::vector<std::uint8_t> pattern) {
  Medium medium(std::move(pattern));
  const std::uint64_t sectors = medium.device.totalSectors;
  keldrive::CarveContext context;
  context.useFirstByteIndex = state.range(0) != 0;
  keldrive::CarvedFileHit hit;
  std::uint64_t carved = 0;
  for (auto _ : state) {
    for (std::uint64_t done = 0; done < kGiB / kSector; done += sectors) {
      for (std::uint64_t s = 0; s < sectors; ++s) {
        keldrive::CarveCandidate candidate{
            .medium = &medium.device,
            .sector = std::span<const std::uint8_t>(medium.bytes->data() + s * kSector, kSector),
            .hitSector = s,
            .sectorsDone = done + s,
            .totalSectors = kGiB / kSector};
        carved += keldrive::IdentifyAndSize(context, candidate, hit) == 0;
      }
    }
  }
  state.counters["carved"] = static_cast<double>(carved);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kGiB / kSector));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kGiB));
}

void BM_CarveIdentifyRandomSectors(benchmark::State& state) {
  IdentifyNonMatching(state, RandomBytes(kPatternBytes, 7));
}
void BM_CarveIdentifyZeroSectors(benchmark::State& state) {
  IdentifyNonMatching(state, std::vector<std::uint8_t>(kPatternBytes));
}
BENCHMARK(BM_CarveIdentifyRandomSectors)
    ->ArgName("index")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CarveIdentifyZeroSectors)
    ->ArgName("index")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);

// Types the carving walk steps into by one sector.
bool WalkLooksInside(FileTypeCode code) {
  using enum FileTypeCode;
  switch (code) {
    case kDoc:
    case kOle:
    case kXls:
    case kPpt:
    case kWav:
    case kAvi:
    case kAsf:
    case kSwf:
    case kBmp:
    case kCab:
    case kTrueType:
    case kIco:
      return true;
    default:
      return false;
  }
}

// The carving walk over 1 GiB of the realistic mix: identification of every sector it
// stops at, the size rules of the files it finds, and the steps over them.
void BM_CarveWalkRealisticMix(benchmark::State& state) {
  Medium medium(RealisticMix());
  const std::uint64_t sectors = medium.device.totalSectors;
  keldrive::CarveContext context;
  context.useFirstByteIndex = state.range(0) != 0;
  keldrive::CarvedFileHit hit;
  std::uint64_t files = 0;
  for (auto _ : state) {
    for (std::uint64_t pass = 0; pass < kGiB / kSector; pass += sectors) {
      context.StartScan();
      for (std::uint64_t s = 0; s < sectors;) {
        keldrive::CarveCandidate candidate{
            .medium = &medium.device,
            .sector = std::span<const std::uint8_t>(medium.bytes->data() + s * kSector, kSector),
            .hitSector = s,
            .totalSectors = sectors};
        if (keldrive::IdentifyAndSize(context, candidate, hit) != 0) {
          ++s;
          continue;
        }
        ++files;
        const std::uint64_t step =
            WalkLooksInside(hit.code) ? 1 : (hit.size + kSector - 1) / kSector;
        s += std::max<std::uint64_t>(step, 1);
      }
    }
  }
  state.counters["files"] = static_cast<double>(files) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kGiB / kSector));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kGiB));
}
BENCHMARK(BM_CarveWalkRealisticMix)
    ->ArgName("index")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);

}  // namespace
