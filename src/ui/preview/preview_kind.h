#pragma once

#include <string_view>

namespace keldrive::ui {

// How a found file is previewed, chosen by its extension.
enum class PreviewKind {
  kPicture,
  kAudio,
  kVideo,
  kPdf,
  kOfficeText,        // OOXML and ODF packages: the text of their XML
  kLegacyOfficeText,  // Word, Excel and PowerPoint compound files
  kArchive,           // the member list
  kDump,              // text dump and hex view
};

// The broad class of the preview flow, by substring searches of the pattern lists: the
// preview document list first (so even "p" is a document), then photo, audio and video
// (audio before video, so "rm" is audio).
enum class PreviewClass { kPicture, kAudio, kVideo, kDocument, kOther };

PreviewClass ClassOfExtension(std::string_view extension);

// The viewer for a lower-cased extension. A document whose format no viewer reads, and
// every other file, gets the dump.
PreviewKind KindOfExtension(std::string_view extension);
PreviewKind KindOfName(std::string_view name);

}  // namespace keldrive::ui
