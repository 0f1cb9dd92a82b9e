#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "cli/command.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace keldrive::cli {
namespace {

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

// The scan report's hash of every deleted file of the demo is the one its truth table
// gives: the bytes recovery would write are the file's own.
TEST(ReportCommand, HashesTheDemoAsItsTruthSaysAndRefusesWhatItCannotDo) {
  testing::TempDir dir;
  const std::string image = testing::ExtractFixture("fat/demo.img.gz", dir, "demo.img");
  const auto run = [&](std::vector<std::string> words) {
    std::ostringstream out, err;
    Context context{out, err, {}, false, dir.File("scanlog")};
    const int code = cli::Run(words, context);
    return Outcome{code, out.str(), err.str()};
  };
  Outcome r = run({"report", image, "--format", "csv"});
  EXPECT_EQ(r.code, kExitFailure);
  EXPECT_NE(r.err.find("not scanned yet"), std::string::npos) << r.err;
  ASSERT_EQ(run({"scan", image}).code, kExitOk);

  r = run({"report", image, "--format", "dfxml", "--hash", "SHA256"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  std::size_t matched = 0;
  for (const auto& row : testing::LoadTruthTable("fat/demo_truth.tsv")) {
    if (row[2] != "file" || row[8] == "-") continue;
    const std::string digest = "<hashdigest type=\"sha256\">" + row[4] + "</hashdigest>";
    EXPECT_NE(r.out.find(digest), std::string::npos) << row[0];
    ++matched;
  }
  EXPECT_EQ(matched, 16u);

  const struct {
    std::vector<std::string> words;
    int code;
    const char* message;
  } cases[] = {
      {{"report", image}, kExitUsage, "--format must be dfxml or csv"},
      {{"report", image, "--format", "json"}, kExitUsage, "--format must be dfxml or csv"},
      {{"report", image, "--format", "csv", "--hash", "sha1"}, kExitUsage, "unknown hash"},
      {{"report", "--format", "csv"}, kExitUsage, "needs one MEDIUM"},
      {{"report", image, "--format", "csv", "--out", dir.File("no/such/folder/r.csv")},
       kExitFailure,
       "cannot write the report"},
      {{"recover", image, "--to", dir.File("out"), "--all", "--report", dir.File("r.txt")},
       kExitUsage,
       "FILE.xml (DFXML) or FILE.csv"},
  };
  for (const auto& c : cases) {
    r = run(c.words);
    EXPECT_EQ(r.code, c.code) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace keldrive::cli
