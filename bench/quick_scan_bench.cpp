// The deleted-file scans of large volumes: 100,000 files of which half are deleted, made
// by tests/fixtures/fat/make_fat_bench_image.sh and tests/fixtures/ntfs/make_ntfs_bench_image.sh.
// Point KELDRIVE_FAT_BENCH_IMAGE and KELDRIVE_NTFS_BENCH_IMAGE at the images;
// bench/compare_quick_scans.sh makes them and times The Sleuth Kit's `fls -r -d` on them.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "fat/fast_fat_recovery.h"
#include "ntfs/fast_ntfs_recovery.h"

namespace {

template <typename Engine>
void ScanImage(benchmark::State& state, const char* variable) {
  const char* image = std::getenv(variable);
  if (image == nullptr) {
    state.SkipWithError("set the image variable (see bench/compare_quick_scans.sh)");
    return;
  }
  const std::string folder =
      (std::filesystem::temp_directory_path() / "keldrive-bench-quick-scan").string();
  std::uint64_t found = 0;
  for (auto _ : state) {
    std::filesystem::remove_all(folder);
    Engine engine(keldrive::ScanEnvironment{[&] { return folder; }, folder, nullptr});
    if (engine.AttachImageFile(image, 1) != 0 || engine.Scan("") != 0) {
      state.SkipWithError("the scan failed");
      return;
    }
    found = engine.GetFoundCount();
  }
  state.counters["records"] = static_cast<double>(found);
}

void BM_FatQuickScan(benchmark::State& state) {
  ScanImage<keldrive::CFastFatRecovery>(state, "KELDRIVE_FAT_BENCH_IMAGE");
}
BENCHMARK(BM_FatQuickScan)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_NtfsQuickScan(benchmark::State& state) {
  ScanImage<keldrive::CFastNtfsRecovery>(state, "KELDRIVE_NTFS_BENCH_IMAGE");
}
BENCHMARK(BM_NtfsQuickScan)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
