#include "disk/byte_reader.h"

#include <gtest/gtest.h>

#include <array>

namespace keldrive {
namespace {

constexpr std::array<std::uint8_t, 10> kBytes{0x01, 0x02, 0x03, 0x04, 0x05,
                                              0x06, 0x07, 0x08, 0x09, 0x0A};

TEST(ByteReader, ReadsLittleAndBigEndianFields) {
  ByteReader reader(kBytes);
  EXPECT_EQ(reader.u8(), 0x01);
  EXPECT_EQ(reader.le16(), 0x0302);
  EXPECT_EQ(reader.be16(), 0x0405);
  EXPECT_EQ(reader.le32(), 0x09080706u);
  EXPECT_TRUE(reader.ok());
  EXPECT_EQ(reader.remaining(), 1u);
  EXPECT_EQ(ByteReader(kBytes).le64(), 0x0807060504030201ull);
  EXPECT_EQ(ByteReader(kBytes).be32(), 0x01020304u);
}

TEST(ByteReader, AFailedReadConsumesNothingAndSticks) {
  ByteReader reader(kBytes);
  reader.skip(8);
  EXPECT_EQ(reader.le32(), 0u);
  EXPECT_FALSE(reader.ok());
  EXPECT_EQ(reader.position(), 8u);
  EXPECT_EQ(reader.u8(), 0u) << "after a failure every read gives 0";
  EXPECT_TRUE(reader.bytes(1).empty());
}

TEST(ByteReader, FieldsAtOffsetsAndChildReadersStayInside) {
  ByteReader reader(kBytes);
  EXPECT_EQ(reader.le16At(8), 0x0A09);
  EXPECT_TRUE(reader.ok());
  EXPECT_EQ(reader.le16At(9), 0u);
  EXPECT_FALSE(reader.ok());
  EXPECT_EQ(reader.position(), 0u);

  const ByteReader whole(kBytes);
  ByteReader child = whole.at(4, 4);
  EXPECT_EQ(child.le32(), 0x08070605u);
  EXPECT_EQ(child.u8(), 0u);
  EXPECT_FALSE(child.ok()) << "the child ends where its range ends";
  EXPECT_FALSE(whole.at(7, 4).ok());
  EXPECT_FALSE(whole.at(11).ok());
  EXPECT_FALSE(whole.at(SIZE_MAX, 2).ok()) << "offset + length must not wrap";
  EXPECT_TRUE(whole.at(10).ok());
}

}  // namespace
}  // namespace keldrive
