// Reads an image file through ReadSectors the way the engines do (16 MiB runs, 64 KiB
// pieces), to compare with the raw read speed of the same file:
//
//   keldrive_bench --benchmark_filter=ReadSectors   (KELDRIVE_BENCH_IMAGE=path, default
//   a 1 GiB file made in the temporary folder)
//   dd if=<same file> of=/dev/null bs=64k
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disk/sector_device.h"

namespace {

std::string BenchImage() {
  if (const char* path = std::getenv("KELDRIVE_BENCH_IMAGE")) return path;
  const auto path = std::filesystem::temp_directory_path() / "keldrive-bench-1g.img";
  constexpr std::uintmax_t kSize = 1ull << 30;
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) != kSize) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31);
    for (std::uintmax_t written = 0; written < kSize; written += block.size()) {
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  return path.string();
}

void BM_ReadSectorsWholeImage(benchmark::State& state) {
  const std::string path = BenchImage();
  keldrive::SectorDevice device;
  if (keldrive::OpenImageFile(path, device) != 0) {
    state.SkipWithError("cannot open the image");
    return;
  }
  const auto runSectors = static_cast<std::uint64_t>(state.range(0) / 512);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    for (std::uint64_t sector = 0; sector < device.totalSectors; sector += runSectors) {
      const auto count =
          static_cast<std::int32_t>(std::min(runSectors, device.totalSectors - sector));
      std::int32_t got = 0;
      if (keldrive::ReadSectors(device, buffer, sector, count, 512, got) != 0) {
        state.SkipWithError("read failed");
        return;
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(device.totalSectors * 512));
}
BENCHMARK(BM_ReadSectorsWholeImage)->Arg(64 << 10)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
