#pragma once

#include <string>

namespace keldrive::platform {

enum class PathKind { kMissing, kRegularFile, kDirectory, kBlockDevice, kOther };

PathKind QueryPathKind(const std::string& path);

// True for root (Administrator on Windows), who alone may read raw disks.
bool HasAdministratorRights();

}  // namespace keldrive::platform
