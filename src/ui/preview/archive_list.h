#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "ui/preview/preview_source.h"

namespace keldrive::ui {

struct ArchiveMember {
  QString name;
  std::int64_t size = -1;  // -1 when the archive does not say (a gz stream)
  bool isFolder = false;
};

struct ArchiveListing {
  std::vector<ArchiveMember> members;
  QString error;  // libarchive's words when the list could not be read (to the end)
};

// The members of an archive, through libarchive: zip, 7z, rar, tar, cab, iso, lzh and the
// compressed tars; a lone compressed stream (gz, bz2, xz) is one member with its name
// without the suffix.
ArchiveListing ListArchive(const PreviewSource& source, const QString& fileName);

// The list as a two-column tree (name, size); null when the archive gave no member.
QWidget* CreateArchiveView(const PreviewSource& source, const QString& fileName, QWidget* parent);

}  // namespace keldrive::ui
