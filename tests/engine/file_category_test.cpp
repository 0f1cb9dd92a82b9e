#include "engine/file_category.h"

#include <gtest/gtest.h>

namespace keldrive {
namespace {

TEST(FileCategory, SortsNamesBySubstringOfTheLowerCasedExtension) {
  struct Case {
    const char* name;
    FileCategory category;
  };
  const Case cases[] = {
      {"IMG_0001.JPG", FileCategory::kPhoto},
      {"movie.rm", FileCategory::kAudio},
      {"clip.rmvb", FileCategory::kVideo},
      {"backup.tar.gz", FileCategory::kArchive},
      {"README", FileCategory::kOther},
      {"setup.exe", FileCategory::kOther},
      {"thesis.docx", FileCategory::kDocument},
      {"x.jp", FileCategory::kPhoto},
      {"x.p", FileCategory::kPhoto},
      {"trailing.", FileCategory::kOther},
  };
  for (const Case& c : cases) EXPECT_EQ(CategoryOfName(c.name), c.category) << c.name;
}

TEST(FileCategory, FolderNamesIconsAndLists) {
  EXPECT_EQ(CategoryFolderName(FileCategory::kOther), "others");
  EXPECT_EQ(CategoryFolderName(FileCategory::kPhoto), "photo");
  EXPECT_EQ(FileIconName("setup.exe", false, true), "exe.png");
  EXPECT_EQ(FileIconName("a.jpg", false, false), "image_error.png");
  EXPECT_EQ(FileIconName("a.fla", false, true), "video.png");
  EXPECT_EQ(FileIconName("a.dps", false, true), "doc.png");
  EXPECT_EQ(FileIconName("a", false, true), "default.png");
  EXPECT_EQ(FileIconName("DCIM", true, false), "folder.png");
  EXPECT_TRUE(IsHiddenBrokenPhoto("a.PNG", false, false));
  EXPECT_FALSE(IsHiddenBrokenPhoto("a.pdf", false, false));
  EXPECT_FALSE(IsHiddenBrokenPhoto("a.png", false, true));
  EXPECT_EQ(AllCategoriesList().substr(0, 6), "*.bmp|");
  EXPECT_NE(AllCategoriesList().find("*.jfif|*.mp3"), std::string::npos);
  EXPECT_NE(AllCategoriesList().find("*.ttf|*.rmvb"), std::string::npos)
      << "documents, then video";
  EXPECT_NE(EveryCategoryPatternList().find("*.mmf|*.rmvb"), std::string::npos)
      << "audio, then video";
}

}  // namespace
}  // namespace keldrive
