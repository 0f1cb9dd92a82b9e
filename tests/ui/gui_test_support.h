#pragma once

#include <QString>
#include <QWidget>
#include <map>
#include <string>

namespace keldrive::ui::testing {

// One file of a fixture's ground truth: its name as a deleted-file scan lists it.
struct TruthFile {
  std::string scanName;
  std::string sha256;
  std::uint64_t size = 0;
};
// The files of "<fixture>_truth.tsv" that a deleted-file scan lists, by scan name.
std::map<std::string, TruthFile> ListedFiles(const QString& truthPath);

// Decompresses a ".gz" fixture into `folder`; the path of the copy.
QString UnpackFixture(const QString& gzPath, const QString& folder);

// Saves a picture of `widget` as <KELDRIVE_SCREENSHOTS>/<name>.png when that is set.
void Screenshot(QWidget& widget, const QString& name);

}  // namespace keldrive::ui::testing
