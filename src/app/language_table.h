#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/result_code.h"

namespace keldrive {

// A window whose controls can be given texts by control name. The GUI's windows implement
// it so that a language section captions them.
class ControlTextTarget {
 public:
  virtual ~ControlTextTarget() = default;
  // Sets the text of the control called `name`; false when the window has no such control.
  virtual bool SetControlText(const std::string& name, const std::string& text) = 0;
};

// One entry of the language menu: the language's name (also its file's base name) and the
// text the menu shows for it.
struct LanguageChoice {
  std::string name;
  std::string displayText;
};

// Every text the user sees, by section and key, in the language chosen in "config.ini".
// Missing files and keys give empty texts rather than errors: a bad translation must not
// stop a recovery.
class LanguageTable {
 public:
  using Section = std::map<std::string, std::string>;  // key -> text, in key order

  static constexpr const char* kDefaultLanguage = "English";

  // Reads the settings and the current language's file from `appFolder`, a folder path
  // ending in "/": "config.ini" and "Languages/<language>.ini".
  explicit LanguageTable(const std::string& appFolder);

  const std::string& SettingsPath() const { return settingsPath_; }
  const std::string& LanguagesFolder() const { return languagesFolder_; }
  const std::string& CurrentLanguage() const { return currentLanguage_; }
  // The languages of the settings file, in its order.
  const std::vector<LanguageChoice>& Languages() const { return languages_; }

  // The texts of a section; a section that does not exist is created empty.
  Section& GetLanguageSection(const std::string& name);

  // The text of a key; a missing key is added with an empty text, which is returned.
  static const std::string& GetText(Section& section, const std::string& key);

  // Makes `name` the current language: writes it to "config.ini", reads it back and loads
  // its file. The language list is not read again. Returns the error of the write.
  ResultCode SetLanguage(const std::string& name);

  // Gives every control of `window` that is named by a key of the section that key's text,
  // in key order.
  void ApplyLanguageSection(ControlTextTarget& window, const std::string& sectionName);

 private:
  void ReadSettings(bool withLanguageList);
  void LoadLanguageFile();

  std::string settingsPath_;
  std::string languagesFolder_;
  std::string currentLanguage_;
  std::vector<LanguageChoice> languages_;
  std::map<std::string, Section> sections_;
};

}  // namespace keldrive
