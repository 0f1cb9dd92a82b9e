#include "app/language_table.h"

#include "platform/profile_file.h"

namespace keldrive {
namespace {

constexpr const char* kSettingsFile = "config.ini";
constexpr const char* kLanguagesFolder = "Languages/";
constexpr const char* kDefaultSection = "DefaultLanguage";
constexpr const char* kDefaultKey = "Default";
constexpr const char* kLanguagesSection = "Languages";

// The language name becomes part of a file path: a name that could lead out of the
// languages folder is not a language.
bool IsUsableLanguageName(const std::string& name) {
  return !name.empty() && name.find_first_of("/\\:") == std::string::npos && name != "." &&
         name != "..";
}

}  // namespace

LanguageTable::LanguageTable(const std::string& appFolder)
    : settingsPath_(appFolder + kSettingsFile), languagesFolder_(appFolder + kLanguagesFolder) {
  ReadSettings(true);
  LoadLanguageFile();
}

void LanguageTable::ReadSettings(bool withLanguageList) {
  platform::ProfileFile settings;
  platform::ProfileFile::Load(settingsPath_, settings);  // missing: the defaults below
  currentLanguage_ = settings.Value(kDefaultSection, kDefaultKey).value_or(kDefaultLanguage);
  if (!IsUsableLanguageName(currentLanguage_)) currentLanguage_ = kDefaultLanguage;
  if (withLanguageList) {
    languages_.clear();
    for (auto& entry : settings.Section(kLanguagesSection)) {
      languages_.push_back({std::move(entry.key), std::move(entry.value)});
    }
  }
}

void LanguageTable::LoadLanguageFile() {
  sections_.clear();
  platform::ProfileFile file;
  if (platform::ProfileFile::Load(languagesFolder_ + currentLanguage_ + ".ini", file) !=
      result::kSuccess) {
    return;  // every lookup now gives an empty text
  }
  for (const std::string& name : file.SectionNames()) {
    Section& section = sections_[name];
    for (auto& entry : file.Section(name)) {
      section.try_emplace(std::move(entry.key), std::move(entry.value));
    }
  }
}

LanguageTable::Section& LanguageTable::GetLanguageSection(const std::string& name) {
  return sections_[name];
}

const std::string& LanguageTable::GetText(Section& section, const std::string& key) {
  return section.try_emplace(key).first->second;
}

ResultCode LanguageTable::SetLanguage(const std::string& name) {
  if (!IsUsableLanguageName(name)) return result::kInvalidName;
  platform::ProfileFile settings;
  const ResultCode loaded = platform::ProfileFile::Load(settingsPath_, settings);
  // Rewriting a settings file we could not read would throw its other lines away.
  if (loaded != result::kSuccess && loaded != result::kFileNotFound) return loaded;
  settings.SetValue(kDefaultSection, kDefaultKey, name);
  const ResultCode saved = settings.Save(settingsPath_);
  ReadSettings(false);
  LoadLanguageFile();
  return saved;
}

void LanguageTable::ApplyLanguageSection(ControlTextTarget& window,
                                         const std::string& sectionName) {
  for (const auto& [key, text] : GetLanguageSection(sectionName)) {
    window.SetControlText(key, text);
  }
}

}  // namespace keldrive
