#include "session/scan_browser.h"

#include <algorithm>

namespace keldrive {

ScanSetBrowser::ScanSetBrowser(std::vector<LoadedScan*> scans) : scans_(std::move(scans)) {}

ScanItem ScanSetBrowser::AreaRoot(std::size_t scan) const {
  ScanItem item;
  item.isRoot = false;
  item.isAreaRoot = true;
  item.scan = scan;
  item.record.isFolder = 1;
  item.record.SetName(AreaFolderName(scans_[scan]->record.area));
  return item;
}

ResultCode ScanSetBrowser::List(const ScanItem& item, std::vector<ScanItem>& children) const {
  children.clear();
  if (item.isRoot && SeveralScans()) {
    for (std::size_t i = 0; i < scans_.size(); ++i) children.push_back(AreaRoot(i));
    return result::kSuccess;
  }
  const std::size_t scan = item.isRoot ? 0 : item.scan;
  if (scan >= scans_.size() || !scans_[scan]->engine) return result::kSuccess;
  IFileRecoveryParse& engine = *scans_[scan]->engine;
  const bool top = item.isRoot || item.isAreaRoot;
  if (!top && item.record.isFolder == 0) return result::kSuccess;
  std::vector<FoundFile> records;
  const ResultCode rc = top ? engine.ListFolder(nullptr, 0, records)
                            : engine.ListFolder(&item.record, item.depth + 1, records);
  for (FoundFile& record : records) {
    ScanItem child;
    child.isRoot = false;
    child.scan = scan;
    child.depth = top ? 0 : item.depth + 1;
    child.record = std::move(record);
    children.push_back(std::move(child));
  }
  return rc;
}

ResultCode ScanSetBrowser::Find(const std::string& path, ScanItem& out) const {
  out = ScanItem{};
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    if (!out.isRoot && !out.isAreaRoot && out.record.isFolder == 0) return result::kPathNotFound;
    std::vector<ScanItem> children;
    if (const ResultCode rc = List(out, children); rc != result::kSuccess) return rc;
    const auto found = std::find_if(children.begin(), children.end(), [&](const ScanItem& child) {
      return child.record.Name() == name;
    });
    if (found == children.end()) return result::kFileNotFound;
    out = *found;
  }
  return result::kSuccess;
}

std::string ScanSetBrowser::PathOf(std::size_t scan, const FoundFile& record) const {
  std::string path;
  if (SeveralScans() && scan < scans_.size()) {
    path = AreaFolderName(scans_[scan]->record.area) + "/";
  }
  if (scan < scans_.size() && scans_[scan]->engine) {
    std::string parent;
    scans_[scan]->engine->GetParentPath(record, parent);
    path += parent;
  }
  return path + std::string(record.Name());
}

}  // namespace keldrive
