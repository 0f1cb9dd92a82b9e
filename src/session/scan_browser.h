#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/found_file.h"
#include "platform/result_code.h"
#include "session/scan_runner.h"

namespace keldrive {

// A file or folder of a set of scans, found by its path. With one scan the paths are the
// scan's own ("DCIM/100CANON/a.jpg"); with several (the volumes of one disk image), each
// scan's tree lies in a folder named for its area ("volume1/DCIM/...").
struct ScanItem {
  bool isRoot = true;       // the top of the set
  bool isAreaRoot = false;  // the top of one scan of a set of several
  std::size_t scan = 0;     // the scan it belongs to (not for the set's top)
  FoundFile record;         // files and folders; area roots carry a folder record of theirs
  std::int32_t depth = 0;   // folders above it within its scan
};

class ScanSetBrowser {
 public:
  explicit ScanSetBrowser(std::vector<LoadedScan*> scans);

  bool SeveralScans() const { return scans_.size() > 1; }
  const std::vector<LoadedScan*>& Scans() const { return scans_; }

  // The item at `path`; the set's top for the empty path.
  ResultCode Find(const std::string& path, ScanItem& out) const;
  // The children of an item, each with what it takes to list it in turn.
  ResultCode List(const ScanItem& item, std::vector<ScanItem>& children) const;
  // The path of a record found by type: its folders in its scan, then its name.
  std::string PathOf(std::size_t scan, const FoundFile& record) const;

 private:
  ScanItem AreaRoot(std::size_t scan) const;

  std::vector<LoadedScan*> scans_;
};

}  // namespace keldrive
