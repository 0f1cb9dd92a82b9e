#include "engine/dir_info.h"

#include <algorithm>
#include <cstring>

#include "disk/byte_reader.h"
#include "engine/found_file.h"

namespace keldrive {

std::string_view DirInfoEntry::Name() const {
  const auto end = std::find(name.begin(), name.end() - 1, '\0');
  return {name.data(), static_cast<std::size_t>(end - name.begin())};
}

void DirInfoEntry::SetName(std::string_view text) {
  // The same rule as a found file's name, so both always agree.
  FoundFile holder;
  holder.SetName(text);
  name = holder.name;
}

void SerializeDirInfoEntry(const DirInfoEntry& entry,
                           std::span<std::uint8_t, kDirInfoEntryBytes> out) {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  for (std::size_t i = 0; i < 4; ++i) {
    out[i] = static_cast<std::uint8_t>(entry.firstCluster >> (8 * i));
    out[4 + i] = static_cast<std::uint8_t>(entry.recordNumber >> (8 * i));
  }
  const std::string_view name = entry.Name();
  std::memcpy(out.data() + 8, name.data(), name.size());
}

DirInfoEntry ParseDirInfoEntry(std::span<const std::uint8_t, kDirInfoEntryBytes> bytes) {
  ByteReader r(bytes);
  DirInfoEntry entry;
  entry.firstCluster = r.le32At(0);
  entry.recordNumber = r.le32At(4);
  std::memcpy(entry.name.data(), bytes.data() + 8, entry.name.size() - 1);
  entry.name.back() = '\0';
  return entry;
}

}  // namespace keldrive
