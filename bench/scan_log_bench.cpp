// Scan logs at the scale of a large deep scan: a million records in ten folders of
// 100,000 files. Each benchmark reports the peak memory of the process (maxrss, MiB) so
// that it can be compared with the size of the records file (346 MB).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/scan_log.h"

namespace {

constexpr std::uint32_t kFolders = 10;
constexpr std::uint32_t kFilesPerFolder = 100'000;
constexpr const char* kExtensions[] = {"jpg", "png", "docx", "pdf", "mp4", "zip", "txt", "xyz"};

double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::string BenchFolder() {
  return (std::filesystem::temp_directory_path() / "keldrive-bench-scanlog").string();
}

// Writes the million-record log: the root (cluster 2) holds the folders, each folder its
// files.
void WriteLog(keldrive::ScanLog& log) {
  for (std::uint32_t f = 0; f < kFolders; ++f) {
    keldrive::FoundFile folder;
    folder.isFolder = 1;
    folder.startCluster = 100 + f;
    folder.SetName("Folder " + std::to_string(f));
    const std::uint32_t number = log.AppendRecord(folder);
    log.AddChild(2, 0, number, folder.startCluster, folder.Name());
    for (std::uint32_t i = 0; i < kFilesPerFolder; ++i) {
      keldrive::FoundFile file;
      file.contentOk = 1;
      file.size = i;
      char name[64];
      std::snprintf(name, sizeof name, "IMG_%07u.%s", (i * 7919u) % kFilesPerFolder,
                    kExtensions[i % std::size(kExtensions)]);
      file.SetName(name);
      log.AddChild(100 + f, 1, log.AppendRecord(file));
    }
  }
}

// The log the query benchmarks read, written once.
keldrive::ScanLog& SharedLog() {
  static std::unique_ptr<keldrive::ScanLog> log = [] {
    std::filesystem::remove_all(BenchFolder() + "/shared");
    auto made = std::make_unique<keldrive::ScanLog>();
    made->Open(BenchFolder() + "/shared", "Pro_Fat_0_2024339 5");
    WriteLog(*made);
    made->Flush();
    return made;
  }();
  return *log;
}

void BM_AppendMillionRecordsAndFlush(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(BenchFolder() + "/append");
    keldrive::ScanLog log;
    log.Open(BenchFolder() + "/append", "Fast_0_2024339 5");
    state.ResumeTiming();
    WriteLog(log);
    log.Flush();
    state.PauseTiming();
    log.Close();
    state.ResumeTiming();
  }
  state.counters["records"] = kFolders * (kFilesPerFolder + 1.0);
  state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_AppendMillionRecordsAndFlush)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SelectByTypeOverAMillion(benchmark::State& state) {
  keldrive::ScanLog& log = SharedLog();
  const char* patterns = state.range(0) == 0 ? "*.jpg|*.png" : "*.other";
  std::size_t matches = 0;
  for (auto _ : state) {
    std::vector<std::uint32_t> numbers;
    log.SelectByType(patterns, numbers);
    matches = numbers.size();
  }
  state.counters["matches"] = static_cast<double>(matches);
  state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_SelectByTypeOverAMillion)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ListChildrenOfAHundredThousand(benchmark::State& state) {
  keldrive::ScanLog& log = SharedLog();
  for (auto _ : state) {
    std::vector<keldrive::FoundFile> children;
    log.ListChildren({103, 1}, children);
    benchmark::DoNotOptimize(children.data());
  }
  state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_ListChildrenOfAHundredThousand)->Unit(benchmark::kMillisecond);

void BM_CountSubtreeFilesOfTheRoot(benchmark::State& state) {
  keldrive::ScanLog& log = SharedLog();
  std::uint64_t count = 0;
  for (auto _ : state) log.CountSubtreeFiles({0, 0}, count);
  state.counters["files"] = static_cast<double>(count);
  state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_CountSubtreeFilesOfTheRoot)->Unit(benchmark::kMillisecond);

}  // namespace
