// How much of the medium the carving walk reads: the walk's own buffers, plus what the
// size rules and header tests read after a hit. With the walk's buffer shared as the
// context's window they copy the sectors it holds instead of reading them again.
//
//   keldrive_bench --benchmark_filter=CarveWalkReads
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "carve/carve_context.h"
#include "carve/file_type_recovery.h"
#include "carve/identify.h"
#include "disk/sector_device.h"
#include "platform/memory_medium.h"

namespace {

constexpr std::size_t kSector = 512;

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

std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(count);
  std::mt19937_64 engine(seed);
  for (std::size_t i = 0; i + 8 <= count; i += 8) {
    const std::uint64_t value = engine();
    for (std::size_t b = 0; b < 8; ++b) bytes[i + b] = static_cast<std::uint8_t>(value >> (8 * b));
  }
  return bytes;
}

// 64 MiB of free space: mostly old data, zeroed stretches, and every 12 MiB the carving
// fixtures' files (the mix of carve_bench.cpp); or, dense, those files back to back over
// the whole medium, as on a card full of pictures, documents and recordings.
std::vector<std::uint8_t> Mix(bool dense) {
  constexpr std::size_t kBytes = 64u << 20;
  std::vector<std::vector<std::uint8_t>> images;
  for (const char* name : {"pictures.img.gz", "documents.img.gz", "media.img.gz"}) {
    images.push_back(Fixture(name));
  }
  if (dense) {
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < kBytes) {
      for (const auto& image : images) bytes.insert(bytes.end(), image.begin(), image.end());
    }
    bytes.resize(kBytes);
    return bytes;
  }
  auto bytes = RandomBytes(kBytes, 11);
  for (std::size_t at = 0; at < bytes.size(); at += 4 << 20) {
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 1 << 20, 0);
  }
  std::size_t at = 1536 << 10;
  for (const auto& image : images) {
    for (std::size_t copy = at; copy + image.size() < bytes.size(); copy += 12 << 20) {
      std::copy(image.begin(), image.end(), bytes.begin() + static_cast<std::ptrdiff_t>(copy));
    }
    at += 3 << 20;
  }
  return bytes;
}

// The walk of the combined engine, as far as carving goes: buffers of `bufferBytes` read
// from the medium, every sector offered to the detectors, steps over the files found.
void BM_CarveWalkReads(benchmark::State& state) {
  const bool dense = state.range(0) != 0;
  const auto bufferBytes = static_cast<std::size_t>(state.range(1)) << 10;
  const bool share = state.range(2) != 0;
  auto memory = std::make_unique<keldrive::platform::MemoryMedium>(Mix(dense));
  keldrive::platform::MemoryMedium* medium = memory.get();
  const std::uint64_t mediumBytes = medium->Bytes().size();
  keldrive::SectorDevice device;
  keldrive::AttachImage(device, std::move(memory));
  const std::uint64_t sectors = device.totalSectors;
  std::vector<std::uint8_t> buffer(bufferBytes);
  keldrive::CarveContext context;
  keldrive::CarvedFileHit hit;
  std::uint64_t files = 0;
  for (auto _ : state) {
    context.StartScan();
    for (std::uint64_t sector = 0; sector < sectors;) {
      const auto count = static_cast<std::int32_t>(
          std::min<std::uint64_t>(bufferBytes / kSector, sectors - sector));
      std::int32_t got = 0;
      keldrive::ReadSectors(device, buffer, sector, count, kSector, got);
      const auto arrived = static_cast<std::uint64_t>(got);
      if (share) {
        context.SetWalkWindow(sector,
                              std::span<const std::uint8_t>(buffer).first(arrived * kSector));
      }
      std::uint64_t at = 0;
      while (at < arrived) {
        const keldrive::CarveCandidate candidate{
            .medium = &device,
            .sector = std::span<const std::uint8_t>(buffer).subspan(at * kSector, kSector),
            .hitSector = sector + at,
            .sectorsDone = sector + at,
            .totalSectors = sectors};
        if (keldrive::IdentifyAndSize(context, candidate, hit) != 0) {
          ++at;
          continue;
        }
        ++files;
        at += keldrive::WalkLooksInside(hit.code)
                  ? 1
                  : std::max<std::uint64_t>(1, (hit.size + kSector - 1) / kSector);
      }
      context.ClearWalkWindow();
      sector += std::max<std::uint64_t>(at, 1);
    }
  }
  const auto& requests = medium->ReadRequests();
  const double read =
      static_cast<double>(std::accumulate(requests.begin(), requests.end(), std::uint64_t{0}));
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["files"] = static_cast<double>(files) / iterations;
  state.counters["read_ratio"] = read / iterations / static_cast<double>(mediumBytes);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(mediumBytes));
}
BENCHMARK(BM_CarveWalkReads)
    ->ArgNames({"dense", "buffer_KiB", "window"})
    ->ArgsProduct({{0, 1}, {64, 1024, 4096}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
