// The FAT deleted-file scan of a large volume: 100,000 files of which half are deleted,
// made by tests/fixtures/fat/make_fat_bench_image.sh. Point KELDRIVE_FAT_BENCH_IMAGE at
// the image; bench/compare_fat_scan.sh makes it and times The Sleuth Kit's
// `fls -r -d` on the same image.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fat/fast_fat_recovery.h"

namespace {

void BM_FatQuickScan(benchmark::State& state) {
  const char* image = std::getenv("KELDRIVE_FAT_BENCH_IMAGE");
  if (image == nullptr) {
    state.SkipWithError("set KELDRIVE_FAT_BENCH_IMAGE (see bench/compare_fat_scan.sh)");
    return;
  }
  const std::string folder =
      (std::filesystem::temp_directory_path() / "keldrive-bench-fat-scan").string();
  std::uint64_t found = 0;
  for (auto _ : state) {
    std::filesystem::remove_all(folder);
    keldrive::CFastFatRecovery engine(
        keldrive::ScanEnvironment{[&] { return folder; }, folder, nullptr});
    if (engine.AttachImageFile(image, 1) != 0 || engine.Scan("") != 0) {
      state.SkipWithError("the scan failed");
      return;
    }
    found = engine.GetFoundCount();
  }
  state.counters["records"] = static_cast<double>(found);
}
BENCHMARK(BM_FatQuickScan)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
