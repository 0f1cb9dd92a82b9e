// keldrive-gui: the desktop program. Image files given as arguments are added to the media
// list ("Open with" from a file manager).
//
// What the Windows program does at start-up beyond this (registering the picture control
// of the preview pane, starting COM, OLE, GDI+ and the rich-edit library) has no
// counterpart here: Qt draws pictures and rich text itself.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "app/app_folder.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/preview/media_view.h"
#include "ui/single_instance.h"
#include "ui/ui_texts.h"

namespace {

// What previews leave in the scan-log folder, removed when the program ends.
void RemovePreviewLeftovers(const std::string& scanLogRoot) {
  const QString root = QString::fromStdString(scanLogRoot);
  QFile::remove(root + "/tmp.avi");
  QDir(root + "/Preview").removeRecursively();
}

}  // namespace

int main(int argc, char** argv) {
  keldrive::ui::PreferFfmpegMediaBackend();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Keldrive");
  QApplication::setApplicationVersion("0.1.0");
  using namespace keldrive::ui;

  QStringList images = QApplication::arguments();
  images.removeFirst();
  for (QString& image : images) image = QFileInfo(image).absoluteFilePath();

  std::string appFolder;
  keldrive::AppFolder(appFolder);
  SetTexts(std::make_unique<UiTexts>(appFolder));

  SingleInstance instance(SingleInstance::DefaultName());
  switch (instance.Claim(images)) {
    case SingleInstance::Role::kHandedOver:
      return 0;
    case SingleInstance::Role::kOtherStarting:
      CMessageBox::Show(MessageKind::kInformation, nullptr, "Keldrive is running.");
      return 0;
    case SingleInstance::Role::kFirst:
      break;
  }

  std::string scanLogRoot;
  if (keldrive::PrepareScanLogRoot(scanLogRoot) != keldrive::result::kSuccess) {
    CMessageBox::Show(MessageKind::kError, nullptr,
                      "Keldrive cannot create its scan-log folder " +
                          QString::fromStdString(scanLogRoot) +
                          ". Check that your home folder is writable.");
    return 1;
  }
  int code = 0;
  try {
    CMainWnd window(scanLogRoot);
    QObject::connect(&instance, &SingleInstance::activated, &window,
                     [&window](const QStringList& arguments) {
                       for (const QString& image : arguments) window.AddImage(image);
                       window.showNormal();
                       window.raise();
                       window.activateWindow();
                     });
    window.show();
    for (const QString& image : images) window.AddImage(image);
    instance.SetReady(true);
    code = QApplication::exec();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "keldrive-gui: %s\n", error.what());
    code = 1;
  }
  RemovePreviewLeftovers(scanLogRoot);
  return code;
}
