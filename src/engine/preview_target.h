#pragma once

#include <string>
#include <string_view>

namespace keldrive {

// Where a preview of a found file goes: documents and archives under their own name in the
// preview folder, photos to "tmp.jpg", audio and video to "tmp.avi" (a photo or media type
// wins over a document one); empty for every other file, which is previewed in memory.
std::string PreviewFilePath(const std::string& previewFolder, std::string_view name);

}  // namespace keldrive
