#include <gtest/gtest.h>

#include <map>
#include <string>

#include "carve/signature_table.h"
#include "engine/file_category.h"

namespace keldrive::testing {
namespace {

// Whether the list holds the extension as a pattern of its own ("*.ts"), not only inside a
// longer one ("*.mts").
bool HoldsPattern(std::string_view list, std::string_view extension) {
  const std::string pattern = "*." + std::string(extension);
  for (std::size_t at = list.find(pattern); at != std::string_view::npos;
       at = list.find(pattern, at + 1)) {
    const std::size_t end = at + pattern.size();
    if ((at == 0 || list[at - 1] == '|') && (end == list.size() || list[end] == '|')) return true;
  }
  return false;
}

std::string_view ListOf(FileCategory category) {
  switch (category) {
    case FileCategory::kPhoto:
      return kPhotoPatterns;
    case FileCategory::kAudio:
      return kAudioPatterns;
    case FileCategory::kVideo:
      return kVideoPatterns;
    case FileCategory::kDocument:
      return kDocumentPatterns;
    case FileCategory::kArchive:
      return kArchivePatterns;
    case FileCategory::kOther:
      break;
  }
  return {};
}

// Every type the detectors know falls into the category a user looks for it in, by a
// pattern of its own: none is "other" by omission, none lands somewhere by a substring of a
// longer extension.
TEST(SignatureCategories, EveryRecognisedTypeHasItsCategory) {
  const std::map<std::string_view, FileCategory> expected = {
      {"mpeg", FileCategory::kVideo},    {"mpg", FileCategory::kVideo},
      {"vob", FileCategory::kVideo},     {"mp4", FileCategory::kVideo},
      {"rmvb", FileCategory::kVideo},    {"rm", FileCategory::kAudio},
      {"wmv", FileCategory::kVideo},     {"asf", FileCategory::kVideo},
      {"wma", FileCategory::kAudio},     {"swf", FileCategory::kVideo},
      {"avi", FileCategory::kVideo},     {"flv", FileCategory::kVideo},
      {"3gp", FileCategory::kVideo},     {"mkv", FileCategory::kVideo},
      {"ts", FileCategory::kVideo},      {"mts", FileCategory::kVideo},
      {"mxf", FileCategory::kVideo},     {"mp3", FileCategory::kAudio},
      {"mid", FileCategory::kAudio},     {"ape", FileCategory::kAudio},
      {"wav", FileCategory::kAudio},     {"mov", FileCategory::kVideo},
      {"mp2", FileCategory::kAudio},     {"mmf", FileCategory::kAudio},
      {"gif", FileCategory::kPhoto},     {"bmp", FileCategory::kPhoto},
      {"dib", FileCategory::kPhoto},     {"jpg", FileCategory::kPhoto},
      {"jpeg", FileCategory::kPhoto},    {"jpe", FileCategory::kPhoto},
      {"jfif", FileCategory::kPhoto},    {"png", FileCategory::kPhoto},
      {"psd", FileCategory::kPhoto},     {"tif", FileCategory::kPhoto},
      {"tiff", FileCategory::kPhoto},    {"ico", FileCategory::kPhoto},
      {"doc", FileCategory::kDocument},  {"dot", FileCategory::kDocument},
      {"wps", FileCategory::kDocument},  {"wpt", FileCategory::kDocument},
      {"xls", FileCategory::kDocument},  {"xlt", FileCategory::kDocument},
      {"xla", FileCategory::kDocument},  {"et", FileCategory::kDocument},
      {"ett", FileCategory::kDocument},  {"ppt", FileCategory::kDocument},
      {"pot", FileCategory::kDocument},  {"pps", FileCategory::kDocument},
      {"dps", FileCategory::kDocument},  {"dpt", FileCategory::kDocument},
      {"ole", FileCategory::kDocument},  {"docx", FileCategory::kDocument},
      {"docm", FileCategory::kDocument}, {"dotm", FileCategory::kDocument},
      {"dotx", FileCategory::kDocument}, {"xlsx", FileCategory::kDocument},
      {"xlsb", FileCategory::kDocument}, {"xlsm", FileCategory::kDocument},
      {"xlam", FileCategory::kDocument}, {"xltx", FileCategory::kDocument},
      {"xltm", FileCategory::kDocument}, {"pptx", FileCategory::kDocument},
      {"pptm", FileCategory::kDocument}, {"potx", FileCategory::kDocument},
      {"potm", FileCategory::kDocument}, {"ppsx", FileCategory::kDocument},
      {"ppsm", FileCategory::kDocument}, {"mso07", FileCategory::kDocument},
      {"pdf", FileCategory::kDocument},  {"gz", FileCategory::kArchive},
      {"gzip", FileCategory::kArchive},  {"7z", FileCategory::kArchive},
      {"zip", FileCategory::kArchive},   {"rar", FileCategory::kArchive},
      {"cab", FileCategory::kArchive},   {"exe", FileCategory::kOther},
      {"dll", FileCategory::kOther},     {"sys", FileCategory::kOther},
      {"gho", FileCategory::kArchive},   {"db", FileCategory::kDocument},
      {"dbx", FileCategory::kDocument},  {"pst", FileCategory::kDocument},
      {"fla", FileCategory::kVideo},     {"ttf", FileCategory::kDocument},
  };
  for (std::size_t i = 0; i < kSignatureRowCount; ++i) {
    const std::string_view extension = kSignatureTable[i].extension;
    const auto want = expected.find(extension);
    ASSERT_NE(want, expected.end()) << extension << " has no expected category";
    EXPECT_EQ(CategoryOfExtension(extension), want->second) << extension;
    if (want->second != FileCategory::kOther) {
      EXPECT_TRUE(HoldsPattern(ListOf(want->second), extension))
          << extension << " is in its category only as part of a longer extension";
    }
  }
}

}  // namespace
}  // namespace keldrive::testing
