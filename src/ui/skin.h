#pragma once

#include <QString>
#include <QWidget>
#include <stdexcept>
#include <string>

namespace keldrive::ui {

// Loads the layout "skins/<name>.ui" from the program's resources into `host`, which
// takes the loaded form as its only child, filling it. Controls are then found by name.
// Throws std::runtime_error naming the skin when it is missing or broken: a program built
// without its skins cannot show anything.
QWidget* LoadSkin(const QString& name, QWidget& host);

// The control called `name` under `root`; throws std::runtime_error naming the skin
// control when the layout lacks it.
QWidget* FindControl(QWidget& root, const char* name);

template <typename T>
T* Control(QWidget& root, const char* name) {
  auto* widget = qobject_cast<T*>(FindControl(root, name));
  if (widget == nullptr) {
    throw std::runtime_error(std::string("the layout's control '") + name +
                             "' is not of the kind the program expects");
  }
  return widget;
}

}  // namespace keldrive::ui
