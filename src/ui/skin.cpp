#include "ui/skin.h"

#include <QFile>
#include <QUiLoader>
#include <QVBoxLayout>
#include <stdexcept>

// The skins are compiled into this static library; a library's resources are registered
// by hand, once, outside any namespace.
static void RegisterSkinResources() {
  Q_INIT_RESOURCE(skins);
}

namespace keldrive::ui {

QWidget* LoadSkin(const QString& name, QWidget& host) {
  static const bool registered = (RegisterSkinResources(), true);
  (void)registered;
  QFile file(":/skins/" + name + ".ui");
  if (!file.open(QFile::ReadOnly)) {
    throw std::runtime_error("skin " + name.toStdString() + " is missing from the program");
  }
  QUiLoader loader;
  QWidget* form = loader.load(&file, &host);
  if (form == nullptr) {
    throw std::runtime_error("skin " + name.toStdString() +
                             " cannot be loaded: " + loader.errorString().toStdString());
  }
  auto* layout = new QVBoxLayout(&host);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(form);
  if (host.windowTitle().isEmpty()) host.setWindowTitle(form->windowTitle());
  host.resize(form->size());
  return form;
}

QWidget* FindControl(QWidget& root, const char* name) {
  auto* widget = root.findChild<QWidget*>(QString::fromLatin1(name));
  if (widget == nullptr) {
    throw std::runtime_error(std::string("the layout has no control named '") + name + "'");
  }
  return widget;
}

}  // namespace keldrive::ui
