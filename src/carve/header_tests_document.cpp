#include "carve/header_tests.h"

namespace keldrive {

using namespace std::string_view_literals;

FileTypeCode TestPdf(SectorProbe&, Bytes s) {
  return s.size() > 4 && HasBytesAt(s, 0, "%PDF-") ? FileTypeCode::kPdf : FileTypeCode::kNone;
}

FileTypeCode TestFla(SectorProbe&, Bytes s) {
  // Reached only when the full compound-file signature does not follow: that row stands
  // earlier in the table.
  return s.size() > 15 && HasBytesAt(s, 0, "\xD0\xCF\x11\xE0"sv) ? FileTypeCode::kFla
                                                                 : FileTypeCode::kNone;
}

FileTypeCode TestNothing(SectorProbe&, Bytes) {
  return FileTypeCode::kNone;
}

}  // namespace keldrive
