#pragma once

#include <QString>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "app/formatting.h"
#include "app/language_table.h"

namespace keldrive::ui {

// The texts of the desktop program: the language table of the program's folder, the
// "Messages" section by key, and the captions of a window's controls by control name.
class UiTexts {
 public:
  // Reads "config.ini" and the current language's file from `appFolder` (ending in "/").
  explicit UiTexts(const std::string& appFolder);

  // The text of a "Messages" key, empty when the language has none.
  QString Message(const std::string& key);
  // The text of a key with its conversions filled in, in order ("%c", "%d", "%s" ...).
  QString Message(const std::string& key, std::initializer_list<std::string_view> arguments);

  // Gives every control under `window` named by a key of `section` that key's text.
  void ApplyCaptions(QWidget& window, const std::string& section);

  // Switches the language; the caller captions its windows again (message 1030).
  bool SetLanguage(const std::string& name);
  LanguageTable& Table() { return *table_; }

 private:
  std::unique_ptr<LanguageTable> table_;
};

// The texts of the running program, set once by main(). Tests set their own.
UiTexts& Texts();
void SetTexts(std::unique_ptr<UiTexts> texts);

// Sets the visible text of a control of any kind the skins use.
bool SetWidgetText(QWidget& widget, const QString& text);

inline QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string ToUtf8(const QString& text) {
  return text.toUtf8().toStdString();
}
// "1.5 MB" and the like.
inline QString SizeText(std::uint64_t bytes) {
  return FromUtf8(FormatSize(static_cast<std::int64_t>(std::min<std::uint64_t>(bytes, INT64_MAX))));
}

}  // namespace keldrive::ui
