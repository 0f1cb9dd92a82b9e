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

void PutLe(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i)
    bytes[at + static_cast<std::size_t>(i)] = (value >> (8 * i)) & 0xFF;
}

TEST(FailingMedia, DamagedAndCutVolumesAreNamedAsSuch) {
  Session s;
  const auto fat = testing::LoadFixture("fat/fat32.img.gz");
  const auto ntfs = testing::LoadFixture("ntfs/ntfs512.img.gz");
  const std::ptrdiff_t fatStart = 32 * 512;               // reserved sectors
  const std::ptrdiff_t rootStart = (32 + 2 * 536) * 512;  // cluster 2, the root
  const std::ptrdiff_t mftStart = std::ptrdiff_t{ntfs[0x30]} * ntfs[0x0D] * 512;
  struct Case {
    const char* what;
    std::vector<std::uint8_t> image;
    const char* message;
  };
  std::vector<Case> cases;
  const auto add = [&](const char* what, std::vector<std::uint8_t> image, const char* message) {
    cases.push_back({what, std::move(image), message});
  };
  auto image = fat;
  PutLe(image, 14, 65535, 2);
  add("FAT32 with 65535 reserved sectors", image, "the file allocation table is not where");
  for (const std::uint64_t root : {0ull, 1ull, 0x0FFFFFF0ull}) {
    image = fat;
    PutLe(image, 44, root, 4);
    add("FAT32 with an impossible root cluster", image, "which is not in the volume");
  }
  add("FAT32 cut inside its table", {fat.begin(), fat.begin() + fatStart + 4096},
      "the volume is cut short");
  add("FAT32 cut inside its root folder", {fat.begin(), fat.begin() + rootStart + 256},
      "the volume is cut short");
  add("NTFS cut inside its MFT", {ntfs.begin(), ntfs.begin() + mftStart + 70 * 1024},
      "the volume is cut short");
  image = ntfs;
  std::fill_n(image.begin() + mftStart, 1024, 0);
  add("NTFS with record 0 zeroed", image, "$MFTMirr was used");

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string path = s.dir.File("damaged" + std::to_string(i) + ".img");
    testing::WriteFile(path, cases[i].image);
    const Outcome r = s.Run({"scan", path});
    EXPECT_EQ(r.code, kExitFailure) << cases[i].what << ": " << r.out << r.err;
    EXPECT_NE(r.out.find("Damaged volume"), std::string::npos) << cases[i].what << ": " << r.out;
    EXPECT_NE(r.out.find(cases[i].message), std::string::npos) << cases[i].what << ": " << r.out;
    EXPECT_NE(r.err.find("the scan is incomplete"), std::string::npos) << cases[i].what;
  }
  // Sound volumes say nothing of the kind.
  for (const auto* sound : {&fat, &ntfs}) {
    const std::string path = s.dir.File(sound == &fat ? "fat.img" : "ntfs.img");
    testing::WriteFile(path, *sound);
    const Outcome r = s.Run({"scan", path});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out.find("Damaged"), std::string::npos) << r.out;
  }
}

TEST(FailingMedia, SizesBeyondTheVolumeAreNeitherSummedNorShown) {
  Session s;
  auto image = testing::LoadFixture("fat/fat32.img.gz");
  // The deleted files of the root folder (cluster 2, after the two tables) claim 4 GiB.
  const std::size_t root = (32 + 2 * 536) * 512;
  std::size_t damaged = 0;
  for (std::size_t at = root; at < root + 512 && image[at] != 0; at += 32) {
    if (image[at] == 0xE5 && image[at + 11] == 0x20) {
      PutLe(image, at + 28, 0xFFFFFFFF, 4);
      ++damaged;
    }
  }
  ASSERT_GT(damaged, 0u);
  const std::string path = s.dir.File("sizes.img");
  testing::WriteFile(path, image);
  Outcome r = s.Run({"scan", path});
  EXPECT_NE(r.out.find(std::to_string(damaged) +
                       " files have damaged records that claim more bytes than the volume"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find(" GB"), std::string::npos) << "not summed: " << r.out;
  r = s.Run({"ls", path});
  EXPECT_NE(r.out.find("damaged size"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace keldrive::cli
