#include "session/file_report.h"

#include <gtest/gtest.h>

#include <sstream>

#include "engine/byte_run.h"
#include "engine/file_time.h"

namespace keldrive {
namespace {

ReportFile FileNamed(std::string path, std::uint32_t engine) {
  ReportFile file;
  file.path = std::move(path);
  file.record.sourceEngine = engine;
  file.record.isDeleted = 1;
  file.record.contentOk = 1;
  file.record.size = 10;
  file.record.SetName("a.txt");
  file.runsAnswer = ByteRunsAnswer::kKnown;
  file.runs = {{0, 4096, 10, false}};
  return file;
}

std::string Write(ReportFormat format, const ReportFile& file) {
  std::ostringstream out;
  const auto writer = MakeReportWriter(format, out, false);
  writer->Begin({"disk.img", 1 << 20, 512}, DigestKind::kMd5);
  writer->BeginVolume({0, "FAT32", 512});
  writer->File(file);
  writer->EndVolume();
  EXPECT_TRUE(writer->End());
  return out.str();
}

TEST(FileReport, CsvQuotesFieldsAsRfc4180Says) {
  ReportFile file = FileNamed("odd, \"quoted\"\nname.txt", 1);
  file.digest = "abc";
  const std::string csv = Write(ReportFormat::kCsv, file);
  EXPECT_EQ(
      csv,
      "path,size,status,category,type,mtime,crtime,first_offset,engine,content_check,md5\r\n"
      "\"odd, \"\"quoted\"\"\nname.txt\",10,deleted,document,txt,,,4096,quick FAT,ok,abc\r\n");
}

TEST(FileReport, DfxmlCarriesNoCharacterXmlCannotHold) {
  // A name read from a damaged medium: a control character and a cut UTF-8 sequence.
  const std::string xml = Write(ReportFormat::kDfxml, FileNamed("bad\x01name\xC3.txt", 4));
  EXPECT_NE(xml.find("<filename>bad\xEF\xBF\xBDname\xEF\xBF\xBD.txt</filename>"), std::string::npos)
      << xml;
  EXPECT_EQ(xml.find("<alloc>"), std::string::npos) << "a carved file's allocation is unknown";
  EXPECT_NE(xml.find("<byte_run file_offset=\"0\" img_offset=\"4096\" len=\"10\"/>"),
            std::string::npos);
}

TEST(FileReport, TimesSayWhetherTheyAreUtc) {
  FileTime time = 0;
  ASSERT_TRUE(CalendarToFileTime({2023, 5, 2, 11, 3, 48, 250}, time));
  EXPECT_EQ(IsoTime(time, true), "2023-05-02T11:03:48.250");
  EXPECT_EQ(IsoTime(time, false), "2023-05-02T11:03:48.250Z");
  EXPECT_EQ(IsoTime(0, false), "");
}

TEST(ByteRun, AppendJoinsOnlyRunsThatFollowOnBothSides) {
  std::vector<ByteRun> runs;
  AppendByteRun(runs, {0, 1000, 512, false});
  AppendByteRun(runs, {512, 1512, 512, false});   // follows: joined
  AppendByteRun(runs, {1024, 4096, 512, false});  // jumps on the medium
  AppendByteRun(runs, {1536, 0, 512, true});      // sparse
  AppendByteRun(runs, {2048, 0, 512, true});      // sparse again: joined
  AppendByteRun(runs, {2560, 4608, 0, false});    // empty: dropped
  EXPECT_EQ(runs, (std::vector<ByteRun>{
                      {0, 1000, 1024, false}, {1024, 4096, 512, false}, {1536, 0, 1024, true}}));
}

}  // namespace
}  // namespace keldrive
