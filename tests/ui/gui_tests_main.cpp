// Runs every test class of the desktop program in one QApplication.
#include <QApplication>

int RunMainWindowTests(int argc, char** argv);
int RunSingleInstanceTests(int argc, char** argv);

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failures = 0;
  for (auto run : {&RunSingleInstanceTests, &RunMainWindowTests}) failures += run(argc, argv);
  return failures == 0 ? 0 : 1;
}
