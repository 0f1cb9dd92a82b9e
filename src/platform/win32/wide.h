#pragma once

#include <string>

#include "platform/result_code.h"

// Helpers of the Win32 platform layer only: the core keeps names in UTF-8, the system's
// wide entry points take UTF-16.
namespace keldrive::platform::win32 {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

// A path for the wide file calls: "/" becomes "\", and a long absolute path gets the
// "\\?\" prefix that lifts the 260-character limit. Device paths ("\\.\...") pass as they are.
std::wstring WidePath(const std::string& utf8);

// GetLastError() as a result code: the codes are Win32's own numbers.
ResultCode LastResult();

// "\\.\PhysicalDrive3", "\\.\C:", "\\?\Volume{...}" and the like: not files but devices.
bool IsDevicePath(const std::string& path);

}  // namespace keldrive::platform::win32
