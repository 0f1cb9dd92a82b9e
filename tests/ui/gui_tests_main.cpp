// Runs every test class of the desktop program in one QApplication.
#include <QApplication>

#include "ui/preview/media_view.h"

int RunMainWindowTests(int argc, char** argv);
int RunSingleInstanceTests(int argc, char** argv);
int RunPreviewViewersTests(int argc, char** argv);
int RunPreviewFlowTests(int argc, char** argv);

int main(int argc, char** argv) {
  keldrive::ui::PreferFfmpegMediaBackend();
  QApplication app(argc, argv);
  int failures = 0;
  for (auto run : {&RunSingleInstanceTests, &RunPreviewViewersTests, &RunMainWindowTests,
                   &RunPreviewFlowTests}) {
    failures += run(argc, argv);
  }
  return failures == 0 ? 0 : 1;
}
