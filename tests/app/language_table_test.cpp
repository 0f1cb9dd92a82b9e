#include "app/language_table.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/app_folder.h"
#include "app/message_keys.h"
#include "app/message_text.h"
#include "support/temp_dir.h"

namespace keldrive {
namespace {

namespace fs = std::filesystem;

// A window that records the captions it was given.
class FakeWindow : public ControlTextTarget {
 public:
  explicit FakeWindow(std::vector<std::string> controls) : controls_(std::move(controls)) {}
  bool SetControlText(const std::string& name, const std::string& text) override {
    if (std::find(controls_.begin(), controls_.end(), name) == controls_.end()) return false;
    captions.emplace_back(name, text);
    return true;
  }
  std::vector<std::pair<std::string, std::string>> captions;

 private:
  std::vector<std::string> controls_;
};

std::string AppFolderIn(const testing::TempDir& dir) {
  return dir.path().string() + "/";
}

TEST(LanguageTable, WithoutSettingsLoadsEnglishAndSplitsAtTheFirstEquals) {
  testing::TempDir dir;
  testing::WriteFile(dir.path() / "Languages/English.ini",
                     "[Messages]\n"
                     "MSG0101=a=b\n"
                     "MSG0101=second\n"
                     "MSG0102=\n"
                     "[MainWnd]\n"
                     "BtnScan=Scan\n");
  LanguageTable table(AppFolderIn(dir));
  EXPECT_EQ(table.CurrentLanguage(), "English");
  EXPECT_TRUE(table.Languages().empty());
  EXPECT_EQ(table.SettingsPath(), AppFolderIn(dir) + "config.ini");
  EXPECT_EQ(table.LanguagesFolder(), AppFolderIn(dir) + "Languages/");

  LanguageTable::Section& messages = table.GetLanguageSection("Messages");
  EXPECT_EQ(LanguageTable::GetText(messages, "MSG0101"), "a=b");
  EXPECT_EQ(LanguageTable::GetText(messages, "MSG0102"), "");
  EXPECT_EQ(LanguageTable::GetText(messages, "MSG9999"), "");
  EXPECT_TRUE(messages.contains("MSG9999")) << "a missing key is added empty";
  EXPECT_TRUE(table.GetLanguageSection("Nowhere").empty());
}

TEST(LanguageTable, MissingOrUnsafeLanguageGivesEmptyTexts) {
  testing::TempDir dir;
  testing::WriteFile(dir.path() / "config.ini", "[DefaultLanguage]\nDefault=Klingon\n");
  LanguageTable table(AppFolderIn(dir));
  EXPECT_EQ(table.CurrentLanguage(), "Klingon");
  EXPECT_EQ(LanguageTable::GetText(table.GetLanguageSection("Messages"), "MSG0101"), "");

  testing::WriteFile(dir.path() / "config.ini", "[DefaultLanguage]\nDefault=../../secret\n");
  EXPECT_EQ(LanguageTable(AppFolderIn(dir)).CurrentLanguage(), "English");
  EXPECT_EQ(table.SetLanguage("../x"), result::kInvalidName);
}

TEST(LanguageTable, SetLanguageRewritesOneKeyAndReloads) {
  testing::TempDir dir;
  const std::string settings =
      "; chosen in the language menu\n"
      "[DefaultLanguage]\n"
      "Default=English\n"
      "\n"
      "[Languages]\n"
      "English=English\n"
      "Deutsch=Deutsch (German)\n";
  testing::WriteFile(dir.path() / "config.ini", settings);
  testing::WriteFile(dir.path() / "Languages/English.ini", "[Messages]\nMSG0403=Information\n");
  testing::WriteFile(dir.path() / "Languages/Deutsch.ini", "[Messages]\nMSG0403=Hinweis\n");
  LanguageTable table(AppFolderIn(dir));
  ASSERT_EQ(table.Languages().size(), 2u);
  EXPECT_EQ(table.Languages()[1].name, "Deutsch");
  EXPECT_EQ(table.Languages()[1].displayText, "Deutsch (German)");

  ASSERT_EQ(table.SetLanguage("Deutsch"), result::kSuccess);
  EXPECT_EQ(table.CurrentLanguage(), "Deutsch");
  EXPECT_EQ(LanguageTable::GetText(table.GetLanguageSection("Messages"), "MSG0403"), "Hinweis");
  std::string expected = settings;
  expected.replace(expected.find("Default=English"), 15, "Default=Deutsch");
  const auto bytes = testing::ReadFileBytes(dir.path() / "config.ini");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
  EXPECT_EQ(LanguageTable(AppFolderIn(dir)).CurrentLanguage(), "Deutsch") << "it was saved";
}

TEST(LanguageTable, ApplyCaptionsExistingControlsInKeyOrder) {
  testing::TempDir dir;
  testing::WriteFile(dir.path() / "Languages/English.ini",
                     "[RecoverProcessWnd]\nFinishBtn=Done\nOpenBtn=Open Folder\nGone=x\n"
                     "CancelBtn=Stop\n");
  LanguageTable table(AppFolderIn(dir));
  FakeWindow window({"OpenBtn", "FinishBtn", "CancelBtn"});
  table.ApplyLanguageSection(window, "RecoverProcessWnd");
  EXPECT_EQ(window.captions,
            (std::vector<std::pair<std::string, std::string>>{
                {"CancelBtn", "Stop"}, {"FinishBtn", "Done"}, {"OpenBtn", "Open Folder"}}));
}

// The shipped texts: every key the program looks up has a text, and a text takes exactly
// the arguments its caller passes, in the same order.
void ExpectCompleteEnglish(const std::string& appFolder) {
  LanguageTable table(appFolder);
  ASSERT_EQ(table.CurrentLanguage(), "English");
  ASSERT_FALSE(table.Languages().empty());
  LanguageTable::Section& messages = table.GetLanguageSection("Messages");
  for (const MessageKey& key : kMessageKeys) {
    const std::string& text = LanguageTable::GetText(messages, std::string(key.key));
    EXPECT_FALSE(text.empty()) << key.key;
    EXPECT_EQ(MessageConversions(text), key.conversions) << key.key << ": " << text;
  }
  EXPECT_EQ(messages.size(), kMessageKeys.size()) << "no text for a key nobody uses";
  for (const char* section : {"MainWnd", "MenuWnd", "MessageBox", "ScanWnd", "SearchProcessWnd",
                              "RecoverProcessWnd", "PreviewProcessWnd", "CreateImageWnd"}) {
    EXPECT_FALSE(table.GetLanguageSection(section).empty()) << section;
  }
}

TEST(LanguageTable, ShippedEnglishIsComplete) {
  ExpectCompleteEnglish(KELDRIVE_RESOURCES "/");
}

TEST(LanguageTable, BuildPutsTheLanguageFilesBesideThePrograms) {
  std::string appFolder;
  ASSERT_EQ(AppFolder(appFolder), result::kSuccess);
  EXPECT_TRUE(appFolder.ends_with("/"));
  ExpectCompleteEnglish(appFolder);
}

}  // namespace
}  // namespace keldrive
