#include "cli/found_file_text.h"

#include "app/formatting.h"
#include "disk/checked_math.h"
#include "engine/file_category.h"

namespace keldrive::cli {

std::string ModifiedText(const FoundFile& file) {
  return file.modified != 0 ? FormatFileTime(file.modified) : "-";
}

std::uint64_t AreaBytes(const ScanArea& area) {
  return CheckedMul64(area.sectors.Count(), area.source.sectorBytes).value_or(UINT64_MAX);
}

std::string SizeText(const FoundFile& file, std::uint64_t areaBytes) {
  if (file.size > areaBytes) return "damaged size";
  return FormatSize(static_cast<std::int64_t>(file.size & INT64_MAX));
}

void WriteFoundFileJson(JsonWriter& json, const FoundFile& file, const std::string& path) {
  json.BeginObject();
  json.Field("path", path);
  json.Field("name", file.Name());
  json.Field("folder", file.isFolder != 0);
  json.Field("deleted", file.isDeleted != 0);
  json.Field("size", file.size);
  json.Field("category", CategoryFolderName(CategoryOfName(file.Name())));
  json.Field("contentOk", file.contentOk != 0);
  json.Field("modified", ModifiedText(file));
  json.Field("record", file.recordNumber);
  json.EndObject();
}

}  // namespace keldrive::cli
