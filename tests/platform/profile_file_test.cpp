#include "platform/profile_file.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace keldrive::platform {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries Pairs(const std::vector<ProfileFile::Entry>& entries) {
  Entries pairs;
  for (const auto& entry : entries) pairs.emplace_back(entry.key, entry.value);
  return pairs;
}

TEST(ProfileFile, SplitsAtTheFirstEqualsSignAndKeepsFileOrder) {
  const ProfileFile file = ProfileFile::Parse(
      "; a comment before any section\r\n"
      "[Messages]\r\n"
      "MSG0101=a=b\r\n"
      "  MSG0102 =  spaced text  \r\n"
      "; not a key=value\r\n"
      "\r\n"
      "no equals sign\r\n"
      "[broken header\r\n"
      "MSG0101=second copy\r\n"
      "[MainWnd]\n"
      "BtnScan=Scan\n"
      "[messages]\n"
      "MSG0103=in a later section of the same name\n");
  EXPECT_EQ(file.SectionNames(), (std::vector<std::string>{"Messages", "MainWnd", "messages"}));
  EXPECT_EQ(Pairs(file.Section("MESSAGES")), (Entries{{"MSG0101", "a=b"},
                                                      {"MSG0102", "spaced text"},
                                                      {"no equals sign", ""},
                                                      {"[broken header", ""},
                                                      {"MSG0101", "second copy"}}));
  EXPECT_EQ(file.Value("messages", "msg0101"), "a=b") << "the first of two equal keys wins";
  EXPECT_EQ(file.Value("Messages", "MSG0103"), std::nullopt) << "only the first section counts";
  EXPECT_EQ(file.Value("MainWnd", "BtnScan"), "Scan");
  EXPECT_TRUE(file.Section("Missing").empty());
}

TEST(ProfileFile, SetValueRewritesOneLineAndKeepsTheRest) {
  const std::string original =
      "\xEF\xBB\xBF; settings\r\n"
      "[DefaultLanguage]\r\n"
      "Default = English\r\n"
      "Default=shadowed\r\n"
      "\r\n"
      "[Languages]\r\n"
      "English=English\r\n"
      "\r\n";
  ProfileFile file = ProfileFile::Parse(original);
  file.SetValue("defaultlanguage", "DEFAULT", "Deutsch");
  EXPECT_EQ(file.Text(),
            "\xEF\xBB\xBF; settings\r\n"
            "[DefaultLanguage]\r\n"
            "Default=Deutsch\r\n"
            "Default=shadowed\r\n"
            "\r\n"
            "[Languages]\r\n"
            "English=English\r\n"
            "\r\n");

  file.SetValue("Languages", "Deutsch", "Deutsch");
  file.SetValue("Window", "Width", "800");
  EXPECT_EQ(Pairs(file.Section("Languages")),
            (Entries{{"English", "English"}, {"Deutsch", "Deutsch"}}));
  EXPECT_TRUE(file.Text().ends_with(
      "[Languages]\r\nEnglish=English\r\nDeutsch=Deutsch\r\n\r\n[Window]\r\nWidth=800\r\n"))
      << "a new key goes at the end of its section, before the blank line:\n"
      << file.Text();
}

TEST(ProfileFile, SavesAndLoadsThroughTheFileSystem) {
  testing::TempDir dir;
  const std::string path = dir.File("config.ini");
  ProfileFile file;
  EXPECT_EQ(ProfileFile::Load(path, file), result::kFileNotFound);
  file.SetValue("DefaultLanguage", "Default", "English");
  ASSERT_EQ(file.Save(path), result::kSuccess);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  ProfileFile loaded;
  ASSERT_EQ(ProfileFile::Load(path, loaded), result::kSuccess);
  EXPECT_EQ(loaded.Value("DefaultLanguage", "Default"), "English");
  EXPECT_EQ(ProfileFile::Load(dir.path().string(), loaded), result::kDirectory);
}

}  // namespace
}  // namespace keldrive::platform
