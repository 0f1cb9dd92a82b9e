#pragma once

#include <string>
#include <string_view>

#include "platform/result_code.h"

namespace keldrive {

// Names read from a medium are made safe before they become file names in the user's
// folder: separators, "..", control characters, characters Windows forbids, its reserved
// device names and trailing dots and spaces are replaced, and the name is cut to 255 bytes
// at a character boundary. The result is never empty, "." or "..". ":" is kept where the
// platform's names may hold it, so that an NTFS stream comes back as "file:stream".
std::string SafeFileName(std::string_view name);
// SafeFileName with ":" replaced too: for targets that refuse it.
std::string PortableFileName(std::string_view name);

// `name` with `suffix` put before its extension ("a.jpg", "(1)" → "a(1).jpg"), the part
// before the extension shortened so that the whole stays within 255 bytes; the extension
// is always kept.
std::string FitName(std::string_view name, std::string_view suffix);

// folder + "/" + name (no separator is doubled).
std::string JoinPath(std::string_view folder, std::string_view name);

// Whether `path` lies inside `folder` (or is it), judged on the text after both are made
// absolute and "." and ".." components resolved.
bool IsInsideFolder(std::string_view path, std::string_view folder);

// Creates the folder that will hold `path`, with its parents.
ResultCode CreateParentFolder(std::string_view path);

// The separators ("/" or "\\") in a path, a last character not counted: how deep a folder
// recovery is below the folder the user chose.
std::size_t CountPathSeparators(std::string_view path);

// `path` when nothing exists there, else the first free "base(n).ext" for n = 1, 2, ...
std::string FreeTargetPath(const std::string& path);

}  // namespace keldrive
