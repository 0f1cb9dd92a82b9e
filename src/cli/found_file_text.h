#pragma once

#include <string>

#include "cli/json_writer.h"
#include "engine/found_file.h"

namespace keldrive::cli {

// The fields of a found file as the browsing commands show them.
std::string ModifiedText(const FoundFile& file);
void WriteFoundFileJson(JsonWriter& json, const FoundFile& file, const std::string& path);

}  // namespace keldrive::cli
