#include "carve/signature_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "carve/identify.h"
#include "carve_test_support.h"
#include "support/fixtures.h"

namespace keldrive::testing {
namespace {

TEST(SignatureTable, RowsStandInTableOrderBeforeTheTerminator) {
  const std::vector<std::string> expected = {
      "mpeg", "mpg",  "vob",   "mp4",  "rmvb", "rm",   "wmv",  "asf",  "wma",  "swf",  "avi",
      "flv",  "3gp",  "mkv",   "ts",   "mts",  "mxf",  "mp3",  "mid",  "ape",  "wav",  "mov",
      "mp2",  "mmf",  "gif",   "bmp",  "dib",  "jpg",  "jpeg", "jpe",  "jfif", "png",  "psd",
      "tif",  "tiff", "ico",   "doc",  "dot",  "wps",  "wpt",  "xls",  "xlt",  "xla",  "et",
      "ett",  "ppt",  "pot",   "pps",  "dps",  "dpt",  "ole",  "docx", "docm", "dotm", "dotx",
      "xlsx", "xlsb", "xlsm",  "xlsx", "xlam", "xltx", "xltm", "pptx", "pptm", "potx", "potm",
      "ppsx", "ppsm", "mso07", "pdf",  "gz",   "gzip", "7z",   "zip",  "rar",  "cab",  "exe",
      "dll",  "sys",  "gho",   "db",   "dbx",  "pst",  "fla",  "ttf",  "ico"};
  ASSERT_EQ(expected.size(), kSignatureRowCount);
  for (std::size_t i = 0; i < kSignatureRowCount; ++i) {
    EXPECT_EQ(kSignatureTable[i].extension, expected[i]) << i;
    EXPECT_NE(kSignatureTable[i].headerTest, nullptr) << i;
  }
  const SignatureRow& end = kSignatureTable[kSignatureRowCount];
  EXPECT_EQ(end.code, FileTypeCode::kNone);
  EXPECT_TRUE(end.extension.empty());
  EXPECT_EQ(end.headerTest, nullptr);
  EXPECT_EQ(end.sizeRule, nullptr);
}

TEST(SignatureTable, RowsOfOneCodeShareTestAndRule) {
  for (const SignatureRow& a : kSignatureTable) {
    for (const SignatureRow& b : kSignatureTable) {
      if (a.code != b.code) continue;
      EXPECT_EQ(a.headerTest, b.headerTest) << a.extension << " " << b.extension;
      EXPECT_EQ(a.sizeRule, b.sizeRule) << a.extension << " " << b.extension;
    }
  }
  // Recognised but never carved.
  for (const char* name : {"exe", "dll", "sys", "gho", "mso07"}) {
    EXPECT_EQ(FindRowByExtension(name)->sizeRule, nullptr) << name;
  }
}

TEST(SignatureTable, FilesAreNamedAfterTheFirstRowOfTheirCode) {
  const std::vector<std::pair<FileTypeCode, std::string>> cases = {
      {FileTypeCode::kRealMedia, "rmvb"}, {FileTypeCode::kAsf, "wmv"},
      {FileTypeCode::kXls, "xls"},        {FileTypeCode::kGzip, "gz"},
      {FileTypeCode::kIco, "ico"},        {FileTypeCode::kMpeg, "mpeg"},
      {FileTypeCode::kXlsx, "xlsx"},      {FileTypeCode::kOle, "ole"},
      {FileTypeCode::kJpeg, "jpg"},       {FileTypeCode::kTiff, "tif"}};
  for (const auto& [code, name] : cases) {
    ASSERT_NE(NamingRow(code), nullptr);
    EXPECT_EQ(NamingRow(code)->extension, name);
  }
  EXPECT_EQ(NamingRow(FileTypeCode::kNone), nullptr);
}

TEST(SignatureTable, ExtensionsAreFoundWithoutRegardToCase) {
  EXPECT_EQ(FindRowByExtension("XLSX")->code, FileTypeCode::kXlsx);
  EXPECT_EQ(FindRowByExtension("Jpeg")->code, FileTypeCode::kJpeg);
  EXPECT_EQ(FindRowByExtension("jp"), nullptr);
  EXPECT_EQ(FindRowByExtension(""), nullptr);
}

TEST(MatchesExtension, AnswersWhetherTheContentIsOfTheNamedType) {
  MemoryDevice documents(LoadFixture("carve/documents.img.gz"));
  std::uint64_t word = 0;
  std::uint64_t workbook = 0;
  std::uint64_t package = 0;
  for (const auto& row : LoadTruthTable("carve/truth.tsv")) {
    if (row.at(0) != "documents") continue;
    if (row.at(3) == "doc") word = std::stoull(row.at(1));
    if (row.at(3) == "xls") workbook = std::stoull(row.at(1));
    if (row.at(3) == "docx") package = std::stoull(row.at(1));
  }
  ASSERT_NE(word, 0u);
  const auto matches = [&](std::uint64_t sector, const char* extension) {
    return MatchesExtension(documents.Sector(sector), extension, documents.device, 512, sector);
  };
  EXPECT_TRUE(matches(word, "doc"));
  EXPECT_TRUE(matches(word, "DOT"));
  EXPECT_FALSE(matches(word, "xls"));
  EXPECT_FALSE(matches(word, "ole"));
  EXPECT_TRUE(matches(workbook, "xls"));
  EXPECT_FALSE(matches(workbook, "doc"));
  EXPECT_TRUE(matches(package, "docx"));
  EXPECT_FALSE(matches(package, "xlsx"));
  EXPECT_TRUE(matches(package, "zip"));
  EXPECT_FALSE(matches(word, "jpg"));
  EXPECT_FALSE(matches(word, "mso07"));
  // Unknown extensions are never contradicted.
  EXPECT_TRUE(matches(word, "txt"));
  EXPECT_TRUE(matches(word, ""));
}

}  // namespace
}  // namespace keldrive::testing
