#include "gui_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

namespace keldrive::ui::testing {

std::map<std::string, TruthFile> ListedFiles(const QString& truthPath) {
  std::map<std::string, TruthFile> files;
  QFile file(truthPath);
  if (!file.open(QFile::ReadOnly)) return files;
  QTextStream in(&file);
  while (!in.atEnd()) {
    const QString line = in.readLine();
    if (line.startsWith('#')) continue;
    const QStringList cells = line.split('\t');
    // path deleted kind size sha256 first_cluster clusters contiguous_ok scan_name notes
    if (cells.size() < 9 || cells[2] != "file" || cells[8] == "-") continue;
    files[cells[8].toStdString()] =
        TruthFile{cells[8].toStdString(), cells[4].toStdString(), cells[3].toULongLong()};
  }
  return files;
}

QString UnpackFixture(const QString& gzPath, const QString& folder) {
  const QString target = folder + "/" + QFileInfo(gzPath).completeBaseName();
  QProcess gzip;
  gzip.setStandardOutputFile(target);
  gzip.start("gzip", {"-dc", gzPath});
  gzip.waitForFinished();
  return target;
}

void Screenshot(QWidget& widget, const QString& name) {
  const QString folder = qEnvironmentVariable("KELDRIVE_SCREENSHOTS");
  if (folder.isEmpty()) return;
  QDir().mkpath(folder);
  widget.grab().save(folder + "/" + name + ".png");
}

}  // namespace keldrive::ui::testing
