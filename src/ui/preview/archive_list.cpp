#include "ui/preview/archive_list.h"

#include <archive.h>
#include <archive_entry.h>

#include <QFileInfo>
#include <QHeaderView>
#include <QTreeWidget>
#include <array>

namespace keldrive::ui {
namespace {

struct ArchiveCloser {
  void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

// Reads from a QIODevice, so that a file is streamed and never loaded whole.
struct DeviceReader {
  QIODevice* device;
  std::array<char, 64 * 1024> block;
};

la_ssize_t ReadBlock(archive*, void* context, const void** buffer) {
  auto* reader = static_cast<DeviceReader*>(context);
  *buffer = reader->block.data();
  return reader->device->read(reader->block.data(), qint64(reader->block.size()));
}

la_int64_t SkipBytes(archive*, void* context, la_int64_t request) {
  auto* reader = static_cast<DeviceReader*>(context);
  const qint64 target = std::min(reader->device->pos() + request, reader->device->size());
  const qint64 skipped = target - reader->device->pos();
  return reader->device->seek(target) ? skipped : 0;
}

la_int64_t SeekTo(archive*, void* context, la_int64_t offset, int whence) {
  auto* reader = static_cast<DeviceReader*>(context);
  qint64 base = 0;
  if (whence == SEEK_CUR) base = reader->device->pos();
  if (whence == SEEK_END) base = reader->device->size();
  return reader->device->seek(base + offset) ? reader->device->pos() : ARCHIVE_FATAL;
}

ArchivePtr OpenReader(DeviceReader& reader, bool raw) {
  ArchivePtr handle(archive_read_new());
  archive_read_support_filter_all(handle.get());
  if (raw) {
    archive_read_support_format_raw(handle.get());
  } else {
    archive_read_support_format_all(handle.get());
  }
  archive_read_set_read_callback(handle.get(), &ReadBlock);
  archive_read_set_skip_callback(handle.get(), &SkipBytes);
  archive_read_set_seek_callback(handle.get(), &SeekTo);  // 7z and zip read their end first
  archive_read_set_callback_data(handle.get(), &reader);
  if (archive_read_open1(handle.get()) != ARCHIVE_OK) return nullptr;
  return handle;
}

QString ErrorOf(archive* handle) {
  const char* text = archive_error_string(handle);
  return text != nullptr ? QString::fromUtf8(text) : QString("unreadable archive");
}

// A stream that only a filter understood: its size is what it inflates to.
ArchiveListing ListLoneStream(const PreviewSource& source, const QString& fileName) {
  ArchiveListing listing;
  auto device = source.Open();
  if (!device) return {{}, "cannot open the file"};
  DeviceReader reader{device.get(), {}};
  ArchivePtr handle = OpenReader(reader, true);
  archive_entry* entry = nullptr;
  if (!handle || archive_read_next_header(handle.get(), &entry) != ARCHIVE_OK ||
      archive_filter_count(handle.get()) < 2) {  // no filter: not a compressed stream
    return {{}, handle ? ErrorOf(handle.get()) : QString("unreadable archive")};
  }
  ArchiveMember member;
  member.name = QFileInfo(fileName).completeBaseName();
  std::int64_t size = 0;
  std::array<char, 64 * 1024> block;
  la_ssize_t got = 0;
  while ((got = archive_read_data(handle.get(), block.data(), block.size())) > 0) size += got;
  if (got < 0) listing.error = ErrorOf(handle.get());
  member.size = size;
  listing.members.push_back(member);
  return listing;
}

}  // namespace

ArchiveListing ListArchive(const PreviewSource& source, const QString& fileName) {
  ArchiveListing listing;
  auto device = source.Open();
  if (!device) return {{}, "cannot open the file"};
  DeviceReader reader{device.get(), {}};
  ArchivePtr handle = OpenReader(reader, false);
  if (!handle) return ListLoneStream(source, fileName);
  archive_entry* entry = nullptr;
  int rc = ARCHIVE_OK;
  while ((rc = archive_read_next_header(handle.get(), &entry)) == ARCHIVE_OK ||
         rc == ARCHIVE_WARN) {
    ArchiveMember member;
    const char* name = archive_entry_pathname_utf8(entry);
    if (name == nullptr) name = archive_entry_pathname(entry);
    member.name = QString::fromUtf8(name != nullptr ? name : "");
    member.size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
    member.isFolder = archive_entry_filetype(entry) == AE_IFDIR;
    listing.members.push_back(member);
    archive_read_data_skip(handle.get());
  }
  if (rc != ARCHIVE_EOF) {
    // A gz or xz that holds no tar fails on its first header: list it as one stream.
    if (listing.members.empty()) return ListLoneStream(source, fileName);
    listing.error = ErrorOf(handle.get());
  }
  return listing;
}

QWidget* CreateArchiveView(const PreviewSource& source, const QString& fileName, QWidget* parent) {
  const ArchiveListing listing = ListArchive(source, fileName);
  if (listing.members.empty()) return nullptr;
  auto* tree = new QTreeWidget(parent);
  tree->setObjectName("PreviewArchive");
  tree->setRootIsDecorated(false);
  tree->setHeaderLabels({"Name", "Size"});
  for (const ArchiveMember& member : listing.members) {
    auto* item = new QTreeWidgetItem(tree);
    item->setText(0, member.name);
    item->setText(1, member.isFolder || member.size < 0 ? QString() : QString::number(member.size));
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  }
  tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  tree->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  tree->header()->setStretchLastSection(false);
  return tree;
}

}  // namespace keldrive::ui
