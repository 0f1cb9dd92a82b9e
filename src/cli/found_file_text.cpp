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

Json FoundFileJson(const FoundFile& file, const std::string& path) {
  Json json;
  json["path"] = path;
  json["name"] = file.Name();
  json["folder"] = file.isFolder != 0;
  json["deleted"] = file.isDeleted != 0;
  json["size"] = file.size;
  json["category"] = CategoryFolderName(CategoryOfName(file.Name()));
  json["contentOk"] = file.contentOk != 0;
  json["modified"] = ModifiedText(file);
  json["record"] = file.recordNumber;
  return json;
}

}  // namespace keldrive::cli
