#include "cli/found_file_text.h"

#include "app/formatting.h"
#include "engine/file_category.h"

namespace keldrive::cli {

std::string ModifiedText(const FoundFile& file) {
  return file.modified != 0 ? FormatFileTime(file.modified) : "-";
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
