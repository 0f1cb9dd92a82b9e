#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "cli/command.h"
#include "platform/path_info.h"
#include "support/fuse_eio.h"
#include "support/sha256.h"
#include "support/temp_dir.h"

namespace keldrive::cli {
namespace {

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

Outcome RunWords(const std::vector<std::string>& words) {
  std::ostringstream out, err;
  Context context{out, err, platform::SystemRoots{}, false};
  const int code = Run(words, context);
  return {code, out.str(), err.str()};
}

std::vector<std::uint8_t> RandomBytes(std::size_t size) {
  std::mt19937 random(11);
  std::vector<std::uint8_t> bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random() | 1);
  return bytes;
}

std::string FileSha256(const std::string& path) {
  return testing::Sha256Hex(testing::ReadFileBytes(path));
}

bool Shell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return false;
  char buffer[256];
  std::string text;
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
  if (output != nullptr) *output = text;
  return ::pclose(pipe) == 0;
}

TEST(ImageCommand, CopiesAnImageFileByteForByteIntoAMediumForTheOtherCommands) {
  testing::TempDir dir;
  const std::string source = dir.File("source.img");
  testing::WriteFile(source, RandomBytes(3 << 20));
  const std::string target = dir.File("copy.img");

  Outcome result = RunWords({"image", source, target, "--json"});
  ASSERT_EQ(result.code, kExitOk) << result.err;
  EXPECT_EQ(FileSha256(target), FileSha256(source));
  EXPECT_NE(result.out.find("\"bytesCopied\": 3145728"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("\"unreadable\": []"), std::string::npos) << result.out;
  EXPECT_EQ(nlohmann::json::parse(result.out).value("map", ""), target + ".map") << result.out;

  result = RunWords({"info", target});
  EXPECT_EQ(result.code, kExitOk) << result.err;

  // Again with a map elsewhere, resumed from a finished map: nothing left to do.
  const std::string map = dir.File("elsewhere.map");
  ASSERT_EQ(RunWords({"image", source, target, "--map", map}).code, kExitOk);
  result = RunWords({"image", source, target, "--map", map, "--resume"});
  ASSERT_EQ(result.code, kExitOk) << result.err;
  EXPECT_NE(result.out.find("Copied 3.00 MB of 3.00 MB"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("(resumed)"), std::string::npos) << result.out;
  EXPECT_EQ(FileSha256(target), FileSha256(source));
}

TEST(ImageCommand, RefusesTargetsThatWouldHarmTheSourceAndExplainsUsage) {
  testing::TempDir dir;
  const std::string source = dir.File("source.img");
  testing::WriteFile(source, RandomBytes(1 << 20));
  struct Case {
    std::vector<std::string> words;
    int code;
    std::string inErr;
  };
  const Case cases[] = {
      {{"image", source}, kExitUsage, "needs MEDIUM and TARGET.img"},
      {{"image", source, source}, kExitFailure, source + ": is the medium being copied"},
      {{"image", source, dir.path().string()}, kExitFailure, "is a folder or a device"},
      {{"image", source, dir.File("x.img"), "--map", source},
       kExitFailure,
       source + ": is the medium being copied"},
      {{"image", dir.File("missing.img"), dir.File("x.img")}, kExitFailure, "no such file"},
      {{"image", source, dir.File("y.img"), "--resume", "--map", dir.File("x.img")},
       kExitFailure,
       ""},
  };
  testing::WriteFile(dir.File("y.img"), std::string("not resumable without its map"));
  for (const Case& c : cases) {
    const Outcome result = RunWords(c.words);
    EXPECT_EQ(result.code, c.code) << c.inErr;
    EXPECT_NE(result.err.find(c.inErr), std::string::npos) << result.err;
  }
  EXPECT_EQ(testing::ReadFileBytes(source).size(), 1u << 20);
}

TEST(ImageCommand, CopiesALoopDeviceByteForByte) {
  if (!platform::HasAdministratorRights() || !Shell("command -v losetup")) {
    GTEST_SKIP() << "needs root and losetup";
  }
  testing::TempDir dir;
  const std::string backing = dir.File("backing.img");
  testing::WriteFile(backing, RandomBytes(4 << 20));
  std::string device;
  if (!Shell("losetup -f --show " + backing, &device)) GTEST_SKIP() << "no loop device here";
  while (!device.empty() && device.back() == '\n') device.pop_back();
  const std::string target = dir.File("loop.img");
  const Outcome result = RunWords({"image", device, target});
  Shell("losetup -d " + device);
  ASSERT_EQ(result.code, kExitOk) << result.err;
  EXPECT_EQ(FileSha256(target), FileSha256(backing));
}

TEST(ImageCommand, ReportsWhereARealReadErrorLeftZerosAndFailsTheExitCode) {
  testing::TempDir dir;
  const std::string source = dir.File("source.img");
  const auto bytes = RandomBytes(1 << 20);
  testing::WriteFile(source, bytes);
  testing::FuseEioFile medium(source, {{512512, 65536}});
  if (!medium.Ready()) GTEST_SKIP() << medium.SkipReason();
  const std::string target = dir.File("copy.img");

  Outcome result = RunWords({"image", medium.Path(), target});
  EXPECT_EQ(result.code, kExitFailure);
  EXPECT_NE(result.out.find("Unreadable: 64.00 KB (65536 bytes) in 1 area"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("image bytes 512512 to 578047, source sectors 1001 to 1128"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.err.find("65536 bytes could not be read"), std::string::npos) << result.err;
  auto expected = bytes;
  std::fill_n(expected.begin() + 512512, 65536, 0);
  EXPECT_TRUE(testing::ReadFileBytes(target) == expected);

  result = RunWords({"image", medium.Path(), target, "--json"});
  EXPECT_EQ(result.code, kExitFailure);
  EXPECT_NE(result.out.find("\"offset\": 512512,\n      \"bytes\": 65536"), std::string::npos)
      << result.out;
}

}  // namespace
}  // namespace keldrive::cli
