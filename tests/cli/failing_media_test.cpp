// The commands on media that fail or are not media at all.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "cli/command.h"
#include "cli/text_table.h"
#include "disk/byte_reader.h"
#include "support/fixtures.h"
#include "support/fuse_eio.h"
#include "support/temp_dir.h"

namespace keldrive::cli {
namespace {

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

struct Session {
  testing::TempDir dir;
  Outcome Run(std::vector<std::string> words) {
    std::ostringstream out, err;
    Context context{out, err, {}, false, dir.File("scanlog")};
    const int code = cli::Run(words, context);
    return {code, out.str(), err.str()};
  }
};

TEST(FailingMedia, AFifoIsRefusedAtOnceByEveryCommand) {
  Session s;
  const std::string fifo = s.dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"info", fifo},
        {"scan", fifo},
        {"dump", fifo, "0"},
        {"recover", fifo, "--to", s.dir.File("out"), "--all"}}) {
    const Outcome r = s.Run(words);
    EXPECT_NE(r.code, kExitOk) << words[0];
    EXPECT_NE(r.err.find("not a disk, a partition or an image file"), std::string::npos)
        << words[0] << ": " << r.err;
  }
}

TEST(FailingMedia, NamesFromAMediumCannotSteerTheTerminal) {
  EXPECT_EQ(TerminalSafe("a\x1b[31mred\nline\tx\x7f"), "a\\x1b[31mred\\nline\\tx\\x7f");
  EXPECT_EQ(TerminalSafe("\xc2\x9b"
                         "2J caf\xc3\xa9"),
            "\\u009b2J caf\xc3\xa9");
  std::ostringstream out, err;
  Context context{out, err, {}, false, ""};
  ReportError(context, "DCIM/\x1b]0;owned\x07.jpg", "failed");
  EXPECT_EQ(err.str(), "keldrive: DCIM/\\x1b]0;owned\\x07.jpg: failed\n");
}

// The byte offset of MFT record `number` in an image.
std::uint64_t RecordOffset(const std::vector<std::uint8_t>& image, std::uint32_t number) {
  for (std::size_t offset = 0; offset + 1024 <= image.size(); offset += 1024) {
    ByteReader read(std::span<const std::uint8_t>(image).subspan(offset, 1024));
    const std::uint32_t magic = read.le32();
    read.seek(0x2C);
    if (magic == 0x454C4946 && read.le32() == number) return offset;
  }
  return 0;
}

TEST(FailingMedia, ARealReadErrorInTheMftLosesOneRecordAndIsReported) {
  Session s;
  const std::string source = testing::ExtractFixture("ntfs/ntfs512.img.gz", s.dir, "ntfs.img");
  const Outcome sound = s.Run({"scan", source, "--json"});
  ASSERT_EQ(sound.code, kExitOk) << sound.err;

  const std::uint64_t record = RecordOffset(testing::ReadFileBytes(source), 71);
  ASSERT_NE(record, 0u);
  testing::FuseEioFile medium(source, {{record, 1024}});
  if (!medium.Ready()) GTEST_SKIP() << medium.SkipReason();
  Outcome r = s.Run({"scan", medium.Path()});
  EXPECT_EQ(r.code, kExitFailure) << "a scan that could not read everything is no success";
  EXPECT_NE(r.out.find("2 sectors could not be read"), std::string::npos) << r.out;
  EXPECT_NE(
      r.out.find("sectors " + std::to_string(record / 512) + "-" +
                 std::to_string(record / 512 + 1) + " of " + medium.Path() + " could not be read"),
      std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find("the scan is incomplete"), std::string::npos) << r.err;

  r = s.Run({"scan", medium.Path(), "--json"});
  EXPECT_EQ(r.code, kExitFailure);
  EXPECT_NE(r.out.find("\"unreadableSectors\": 2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"damaged\": true"), std::string::npos) << r.out;
  // One deleted file fewer than the sound scan: only the record that could not be read.
  const auto files = [](const std::string& json) {
    const std::size_t at = json.find("\"files\": ");
    return std::stoull(json.substr(at + 9));
  };
  EXPECT_EQ(files(r.out) + 1, files(sound.out)) << r.out;
}

}  // namespace
}  // namespace keldrive::cli
