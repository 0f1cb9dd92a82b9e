// Carves an arbitrary medium as the combined engine's walk does: small buffers handed to
// the context as its window, every sector offered to the carving engine, stepping as it
// says; then every carved file is read back. Reads through the window must stay inside
// what it and the medium hold, and no step may stall the walk.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "carve/carve_context.h"
#include "carve/file_type_recovery.h"
#include "platform/memory_medium.h"
#include "scan_engine_fuzz.h"

namespace {

constexpr std::int32_t kSector = 512;
constexpr std::size_t kWalkBuffer = 8 * kSector;

void Walk(keldrive::CFileTypeRecovery& engine, keldrive::CarveContext& context,
          keldrive::SectorDevice& device) {
  const std::uint64_t total = device.totalSectors;
  std::vector<std::uint8_t> buffer(kWalkBuffer);
  std::uint64_t found = 0;
  context.StartScan();
  for (std::uint64_t sector = 0; sector < total;) {
    const auto count =
        static_cast<std::int32_t>(std::min<std::uint64_t>(kWalkBuffer / kSector, total - sector));
    std::int32_t got = 0;
    keldrive::ReadSectors(device, buffer, sector, count, kSector, got);
    const auto arrived = static_cast<std::uint64_t>(got);
    context.SetWalkWindow(sector, std::span<const std::uint8_t>(buffer).first(arrived * kSector));
    std::uint64_t at = 0;
    while (at < arrived) {
      const keldrive::CarveCandidate candidate{
          .medium = &device,
          .sector = std::span<const std::uint8_t>(buffer).subspan(at * kSector, kSector),
          .hitSector = sector + at,
          .totalSectors = total};
      std::uint64_t step = 0;
      engine.CarveAt(context, candidate, step, found);
      if (step == 0) __builtin_trap();
      at += step;
    }
    context.ClearWalkWindow();
    sector += std::max<std::uint64_t>(at, 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kSector) return 0;
  std::vector<std::uint8_t> bytes(data, data + size);
  bytes.resize((size + kSector - 1) / kSector * kSector);
  keldrive::SectorDevice device;
  keldrive::AttachImage(device,
                        std::make_unique<keldrive::platform::MemoryMedium>(std::move(bytes)));
  static keldrive::CarveContext context;
  std::string records;
  {
    keldrive::CFileTypeRecovery engine(keldrive::ScanEnvironment{
        [] { return keldrive::fuzzing::ScanFolder("keldrive_carve_walk"); },
        keldrive::fuzzing::ScanFolder("keldrive_carve_walk_preview"), nullptr});
    if (engine.AttachDevice(keldrive::ShareDevice(device), 0, device.totalSectors, 1) != 0 ||
        engine.BeginCarveScan() != 0) {
      return 0;
    }
    records = engine.Log()->RecordsPath();
    Walk(engine, context, device);
    std::vector<keldrive::FoundFile> files;
    engine.ListFolder(nullptr, 0, files);
    std::vector<std::uint8_t> preview(4096);
    for (const keldrive::FoundFile& file : files) {
      std::string path;
      auto got = static_cast<std::uint32_t>(preview.size());
      keldrive::FoundFile memoryOnly = file;
      memoryOnly.SetName("preview");  // no extension: copied into memory, not to a file
      engine.ExtractForPreview(memoryOnly, path, preview, got, nullptr, nullptr);
    }
  }
  // Each input starts from an empty log.
  for (const char* suffix : {"", "_Relation", "_DirInfo"}) {
    std::error_code ignored;
    std::filesystem::remove(records + suffix, ignored);
  }
  return 0;
}
