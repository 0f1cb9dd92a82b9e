#include <gtest/gtest.h>

#include <string>

#include "support/fixtures.h"
#include "support/sha256.h"

namespace keldrive::testing {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(TestSupport, Sha256MatchesKnownDigests) {
  EXPECT_EQ(Sha256Hex(Bytes("")),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex(Bytes("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex(Bytes(std::string(1000, 'a'))),
            "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

TEST(TestSupport, FixturesAreDecompressedAndTruthTablesRead) {
  const auto bytes = LoadFixture("support/hello.txt.gz");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "hello fixture\n");
  const auto rows = LoadTruthTable("support/truth.tsv");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"hello.txt", "14"}));
  EXPECT_TRUE(LoadFixture("support/missing.gz").empty());
}

}  // namespace
}  // namespace keldrive::testing
