#include "carve/content_check.h"

#include "carve/identify.h"

namespace keldrive {

ContentCheck SignatureContentCheck() {
  return [](std::string_view extension, std::span<const std::uint8_t> sector, SectorDevice& device,
            std::uint32_t bytesPerSector, std::uint64_t absoluteSector) {
    return MatchesExtension(sector, extension, device, static_cast<std::int32_t>(bytesPerSector),
                            absoluteSector);
  };
}

}  // namespace keldrive
