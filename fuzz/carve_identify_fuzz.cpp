// Identifies and sizes a file at the start of an arbitrary medium: every header test and
// size rule must stay inside what the medium holds and end on any bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "carve/carve_context.h"
#include "carve/identify.h"
#include "platform/memory_medium.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 512) return 0;
  std::vector<std::uint8_t> bytes(data, data + size);
  bytes.resize((size + 511) / 512 * 512);
  const std::vector<std::uint8_t> first(bytes.begin(), bytes.begin() + 512);
  keldrive::SectorDevice device;
  keldrive::AttachImage(device,
                        std::make_unique<keldrive::platform::MemoryMedium>(std::move(bytes)));
  static keldrive::CarveContext context;
  context.StartScan();
  keldrive::CarveCandidate candidate;
  candidate.medium = &device;
  candidate.sector = first;
  candidate.totalSectors = device.totalSectors;
  keldrive::CarvedFileHit hit;
  if (keldrive::IdentifyAndSize(context, candidate, hit) == 0 && hit.size == 0) return 0;
  for (const char* extension : {"jpg", "doc", "xls", "docx", "pdf", "zip", "mp3", "avi"}) {
    keldrive::MatchesExtension(first, extension, device, 512, 0);
  }
  return 0;
}
