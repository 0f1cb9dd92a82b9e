#include "engine/recovery_target.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_dir.h"

namespace keldrive {
namespace {

TEST(FitName, ShortensTheStemAndKeepsTheExtension) {
  const std::string long250(250, 'a');
  const std::string long258(258, 'b');
  // "é" is two bytes: a cut never splits it.
  const std::string accented = std::string(250, 'c') + "\xC3\xA9" + "x.txt";
  struct Case {
    std::string name;
    std::string suffix;
    std::string expected;
  };
  const Case cases[] = {
      {"a.jpg", "(1)", "a(1).jpg"},
      {"noext", "(2)", "noext(2)"},
      {".hidden", "(1)", ".hidden(1)"},
      {long250 + ".jpg", "(1)", std::string(248, 'a') + "(1).jpg"},
      {long258 + ".jpg", "", std::string(251, 'b') + ".jpg"},
      {accented, "", std::string(250, 'c') + ".txt"},
      {"a." + std::string(300, 'x'), "", "a." + std::string(253, 'x')},
  };
  for (const Case& c : cases) {
    const std::string fitted = FitName(c.name, c.suffix);
    EXPECT_EQ(fitted, c.expected) << c.name.substr(0, 20);
    EXPECT_LE(fitted.size(), 255u);
  }
  EXPECT_EQ(SafeFileName(long258 + ".jpg"), std::string(251, 'b') + ".jpg");
}

TEST(FreeTargetPath, ANumberedLongNameStillFits) {
  testing::TempDir dir;
  const std::string name = std::string(251, 'n') + ".jpg";
  const std::string first = dir.File(name);
  std::ofstream(first) << "x";
  const std::string second = FreeTargetPath(first);
  EXPECT_EQ(second, dir.File(std::string(248, 'n') + "(1).jpg"));
  std::ofstream(second) << "y";
  EXPECT_TRUE(std::ofstream(second).good()) << "a name the file system takes";
  EXPECT_EQ(FreeTargetPath(first), dir.File(std::string(248, 'n') + "(2).jpg"));
}

}  // namespace
}  // namespace keldrive
