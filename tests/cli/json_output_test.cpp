// The --json output of every command that has it, against examples kept in json_examples/:
// scripts read these keys, their order and their value types, so a change to any of them
// shows here. KELDRIVE_UPDATE_JSON_EXAMPLES=1 writes the examples afresh instead.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "cli/command.h"
#include "support/fake_system_tree.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace keldrive::cli {
namespace {

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

Outcome RunIn(const std::string& scanLog, const std::vector<std::string>& words,
              const platform::SystemRoots& roots = {}) {
  std::ostringstream out, err;
  Context context{out, err, roots, false, scanLog};
  const int code = Run(words, context);
  return {code, out.str(), err.str()};
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
}

// Only what differs from run to run: temporary folders, clock times, timings and the free
// space where the scan logs are. Types are kept, so the examples still fit the schema.
std::string Normalise(std::string text,
                      const std::vector<std::pair<std::string, std::string>>& folders) {
  for (const auto& [folder, shown] : folders) ReplaceAll(text, folder, shown);
  static const std::regex kVaryingText(R"re("(started)": "[^"]*")re");
  static const std::regex kVaryingNumber(R"re("(imageWriteTime|freeBytes|milliseconds)": \d+)re");
  text = std::regex_replace(text, kVaryingText, "\"$1\": \"<time>\"");
  return std::regex_replace(text, kVaryingNumber, "\"$1\": 0");
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(JsonOutput, EveryCommandKeepsItsSavedShape) {
  testing::TempDir dir;
  const std::string scanLog = dir.File("scanlog");
  const std::string demo = testing::ExtractFixture("fat/demo.img.gz", dir, "demo.img");
  const std::string disk = testing::ExtractFixture("disks/mbr.img.gz", dir, "mbr.img");
  // A category folder taken by a file, so the photos cannot be written: the failure fields.
  std::filesystem::create_directories(dir.path() / "blocked");
  testing::WriteFile(dir.path() / "blocked" / "photo", std::string("in the way"));

  testing::FakeSystemTree system;
  system.AddDisk({.name = "sda", .sectors512 = 1'000'000, .majorMinor = "8:0"});
  system.AddDisk({.name = "sdb", .sectors512 = 4'000'000, .bus = "usb", .majorMinor = "8:16"});
  system.AddPartition("sdb", {.name = "sdb1",
                              .number = 1,
                              .start512 = 2048,
                              .sectors512 = 2'000'000,
                              .majorMinor = "8:17"});
  system.SetUdevProperties("8:17", "ID_FS_TYPE=vfat\nID_FS_VERSION=FAT32\nID_FS_LABEL=STICK");

  struct Case {
    std::string example;
    std::vector<std::string> words;
    int code = kExitOk;
  };
  // In order: the browsing commands and the history need the scans before them.
  const Case cases[] = {
      {"info", {"info", demo, "--json"}},
      {"list-system", {"list", "--json"}},
      {"list-image", {"list", disk, "--json"}},
      {"history-empty", {"history", "--json"}},
      {"scan", {"scan", demo, "--json"}},
      {"scan-disk", {"scan", disk, "--json"}},
      {"ls", {"ls", demo, "Holiday 2023", "--json"}},
      {"find", {"find", demo, "--type", "pdf,zip", "--json"}},
      {"recover", {"recover", demo, "--to", dir.File("out"), "--type", "pdf", "--json"}},
      {"recover-failed",
       {"recover", demo, "--to", dir.File("blocked"), "--type", "jpg,pdf", "--json"},
       kExitFailure},
      {"history", {"history", "--json"}},
      {"image", {"image", demo, dir.File("copy.img"), "--json"}},
  };
  const bool update = std::getenv("KELDRIVE_UPDATE_JSON_EXAMPLES") != nullptr;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.example);
    const Outcome r = RunIn(scanLog, c.words,
                            c.example == "list-system" ? system.roots() : platform::SystemRoots{});
    ASSERT_EQ(r.code, c.code) << r.err;
    const std::string output =
        Normalise(r.out, {{std::filesystem::canonical(dir.path()).string(), "<tmp>"},
                          {dir.path().string(), "<tmp>"},
                          {system.roots().dev, "/dev"}});
    const std::filesystem::path example =
        std::filesystem::path(KELDRIVE_JSON_EXAMPLES) / (c.example + ".json");
    if (update) {
      std::ofstream(example, std::ios::binary) << output;
      continue;
    }
    EXPECT_EQ(output, ReadText(example));
  }
}

// A path, like a name read from a damaged medium, need not be UTF-8: the command still
// succeeds and prints valid JSON, with U+FFFD for each bad sequence.
TEST(JsonOutput, TextThatIsNotUtf8IsReplacedNotFatal) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("fat/demo.img.gz", dir, "demo\xFF\xC3.img");
  const std::string replaced = dir.File("demo\uFFFD\uFFFD.img");
  for (const char* command : {"info", "scan"}) {
    const Outcome r = RunIn(dir.File("scanlog"), {command, image, "--json"});
    ASSERT_EQ(r.code, kExitOk) << command << ": " << r.err;
    nlohmann::json json;
    ASSERT_NO_THROW(json = nlohmann::json::parse(r.out)) << r.out;
    EXPECT_EQ(json["medium"], replaced) << command;
  }
}

}  // namespace
}  // namespace keldrive::cli
