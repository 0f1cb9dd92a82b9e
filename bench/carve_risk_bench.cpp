// Costs that grow with what a medium holds rather than with its size:
//  - a walk over a medium full of short transport streams, where every stream candidate
//    is looked up among the streams carved before it;
//  - one false Matroska header in deleted data, which a size rule would follow over
//    everything after it.
//
//   keldrive_bench --benchmark_filter=CarveRisk
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "carve/carve_context.h"
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

struct Medium {
  keldrive::SectorDevice device;
  keldrive::platform::MemoryMedium* memory = nullptr;

  explicit Medium(std::vector<std::uint8_t> content) {
    auto owned = std::make_unique<keldrive::platform::MemoryMedium>(std::move(content));
    memory = owned.get();
    keldrive::AttachImage(device, std::move(owned));
  }
  std::span<const std::uint8_t> Sector(std::uint64_t s) const {
    return std::span<const std::uint8_t>(memory->Bytes()).subspan(s * kSector, kSector);
  }
  std::uint64_t BytesRead() const {
    const auto& requests = memory->ReadRequests();
    return std::accumulate(requests.begin(), requests.end(), std::uint64_t{0});
  }
};

// `streams` recordings of 24 packets each (the first packets of the fixture's stream),
// one zero sector between them.
std::vector<std::uint8_t> ManyStreams(std::size_t streams) {
  const auto media = Fixture("media.img.gz");
  constexpr std::size_t kStreamSector = 147;  // where the fixture's stream lies
  constexpr std::size_t kStreamBytes = 24 * 188;
  const std::size_t stride = (kStreamBytes + kSector - 1) / kSector * kSector + kSector;
  std::vector<std::uint8_t> bytes(streams * stride + kSector);
  if (media.size() < kStreamSector * kSector + kStreamBytes) return bytes;
  for (std::size_t i = 0; i < streams; ++i) {
    std::copy_n(media.begin() + static_cast<std::ptrdiff_t>(kStreamSector * kSector), kStreamBytes,
                bytes.begin() + static_cast<std::ptrdiff_t>(i * stride));
  }
  return bytes;
}

// The carving walk over a medium of many short streams: per stream, the lookups among
// the streams carved before it.
void BM_CarveRiskManyTransportStreams(benchmark::State& state) {
  const auto streams = static_cast<std::size_t>(state.range(0));
  Medium medium(ManyStreams(streams));
  const std::uint64_t sectors = medium.device.totalSectors;
  keldrive::CarveContext context;
  keldrive::CarvedFileHit hit;
  std::uint64_t carved = 0;
  for (auto _ : state) {
    context.StartScan();
    carved = 0;
    for (std::uint64_t s = 0; s < sectors;) {
      const keldrive::CarveCandidate candidate{.medium = &medium.device,
                                               .sector = medium.Sector(s),
                                               .hitSector = s,
                                               .totalSectors = sectors};
      if (keldrive::IdentifyAndSize(context, candidate, hit) != 0) {
        ++s;
        continue;
      }
      ++carved;
      s += std::max<std::uint64_t>(1, (hit.size + kSector - 1) / kSector);
    }
  }
  state.counters["streams"] = static_cast<double>(carved);
  state.counters["us_per_stream"] = benchmark::Counter(
      static_cast<double>(streams) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_CarveRiskManyTransportStreams)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Identification of a sector that begins with the four Matroska magic bytes and nothing
// else of the format, in 256 MiB of deleted data; and of a real Matroska file's header
// followed by the same data.
void BM_CarveRiskFalseMatroskaHeader(benchmark::State& state) {
  auto bytes = RandomBytes(256u << 20, 13);
  if (state.range(0) != 0) {
    const auto media = Fixture("media.img.gz");
    constexpr std::size_t kMkvSector = 130;
    std::copy_n(media.begin() + static_cast<std::ptrdiff_t>(kMkvSector * kSector), 2724,
                bytes.begin());
  } else {
    constexpr std::uint8_t kMagic[] = {0x1A, 0x45, 0xDF, 0xA3};
    std::copy(std::begin(kMagic), std::end(kMagic), bytes.begin());
  }
  Medium medium(std::move(bytes));
  keldrive::CarveContext context;
  keldrive::CarvedFileHit hit;
  keldrive::ResultCode rc = 0;
  for (auto _ : state) {
    hit = {};
    const keldrive::CarveCandidate candidate{.medium = &medium.device,
                                             .sector = medium.Sector(0),
                                             .totalSectors = medium.device.totalSectors};
    rc = keldrive::IdentifyAndSize(context, candidate, hit);
  }
  state.counters["carved"] = rc == 0 ? 1 : 0;
  state.counters["carved_MiB"] = static_cast<double>(hit.size) / (1 << 20);
  state.counters["read_MiB"] =
      static_cast<double>(medium.BytesRead()) / (1 << 20) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_CarveRiskFalseMatroskaHeader)
    ->ArgName("real_header")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
