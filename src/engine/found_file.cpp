#include "engine/found_file.h"

#include <algorithm>
#include <cstring>

#include "disk/byte_reader.h"

namespace keldrive {
namespace {

namespace off = found_file_offset;

void Put(std::span<std::uint8_t, kFoundFileBytes> out, std::size_t at, std::uint64_t value,
         std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Length of the longest prefix of `text` that ends on a UTF-8 character boundary and fits.
std::size_t FittingLength(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t length = limit;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return length;
}

}  // namespace

std::string_view FoundFile::Name() const {
  const auto end = std::find(name.begin(), name.end() - 1, '\0');
  return {name.data(), static_cast<std::size_t>(end - name.begin())};
}

void FoundFile::SetName(std::string_view text) {
  name.fill('\0');
  const std::size_t length = FittingLength(text, kFoundFileNameBytes - 1);
  std::memcpy(name.data(), text.data(), length);
}

void SerializeFoundFile(const FoundFile& r, std::span<std::uint8_t, kFoundFileBytes> out) {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  Put(out, off::kDriveLetter, r.driveLetter, 2);
  Put(out, off::kSourceEngine, r.sourceEngine, 4);
  Put(out, off::kIsFolder, r.isFolder, 4);
  Put(out, off::kIsDeleted, r.isDeleted, 4);
  Put(out, off::kContentOk, r.contentOk, 4);
  Put(out, off::kRecordNumber, r.recordNumber, 4);
  Put(out, off::kStartCluster, r.startCluster, 4);
  Put(out, off::kClusterBytes, r.clusterBytes, 4);
  Put(out, off::kCreated, r.created, 8);
  Put(out, off::kAccessed, r.accessed, 8);
  Put(out, off::kModified, r.modified, 8);
  Put(out, off::kSize, r.size, 8);
  Put(out, off::kDataAreaSector, r.dataAreaSector, 8);
  Put(out, off::kEntrySector, r.entrySector, 8);
  Put(out, off::kVolumeStartSector, r.volumeStartSector, 8);
  const std::string_view name = r.Name();
  std::memcpy(out.data() + off::kName, name.data(), name.size());
}

FoundFile ParseFoundFile(std::span<const std::uint8_t, kFoundFileBytes> bytes) {
  ByteReader r(bytes);
  FoundFile f;
  f.driveLetter = r.le16At(off::kDriveLetter);
  f.sourceEngine = r.le32At(off::kSourceEngine);
  f.isFolder = r.le32At(off::kIsFolder);
  f.isDeleted = r.le32At(off::kIsDeleted);
  f.contentOk = r.le32At(off::kContentOk);
  f.recordNumber = r.le32At(off::kRecordNumber);
  f.startCluster = r.le32At(off::kStartCluster);
  f.clusterBytes = r.le32At(off::kClusterBytes);
  f.created = r.le64At(off::kCreated);
  f.accessed = r.le64At(off::kAccessed);
  f.modified = r.le64At(off::kModified);
  f.size = r.le64At(off::kSize);
  f.dataAreaSector = r.le64At(off::kDataAreaSector);
  f.entrySector = r.le64At(off::kEntrySector);
  f.volumeStartSector = r.le64At(off::kVolumeStartSector);
  std::memcpy(f.name.data(), bytes.data() + off::kName, kFoundFileNameBytes - 1);
  f.name.back() = '\0';
  return f;
}

}  // namespace keldrive
