#include "ntfs/attribute.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "ntfs/attribute_list.h"
#include "ntfs/file_name_attribute.h"
#include "ntfs_builders.h"

namespace keldrive {
namespace {

using testing::Bytes;
using testing::Put16;
using testing::Put32;
using testing::RecordBuilder;

// A 1 KiB record holding standard information (0x38), a file name (0x80) and resident
// data (0xE8), the end marker at 0x168; fix-ups applied.
struct ThreeAttributes {
  static constexpr std::size_t kSecond = 0x80, kThird = 0xE8, kEnd = 0x168;

  ThreeAttributes() {
    record = RecordBuilder(30)
                 .Add(testing::ResidentAttribute(0x10, Bytes(0x30, 0)))
                 .Add(testing::ResidentAttribute(0x30, testing::FileNameValue(5, u"a.txt")))
                 .Add(testing::ResidentAttribute(0x80, Bytes(100, 'x')))
                 .Build();
    EXPECT_EQ(ApplyUpdateSequence(record, 1024), ParseStatus::kOk);
  }

  // The types a walk yields, and whether it ended damaged.
  std::vector<std::uint32_t> Walk(WalkStops stops = WalkStops::kEndMarker) {
    FileRecordHeader h;
    EXPECT_EQ(ParseFileRecordHeader(record, h), ParseStatus::kOk);
    AttributeWalk walk = AttributeWalk::OfRecord(record, h, 1024, stops);
    std::vector<std::uint32_t> types;
    Attribute a;
    while (walk.Next(a)) {
      EXPECT_EQ(a.bytes.size(), a.header.length);
      types.push_back(a.header.type);
    }
    damaged = walk.damaged();
    EXPECT_FALSE(walk.Next(a)) << "an ended walk stays ended";
    return types;
  }

  Bytes record;
  bool damaged = false;
};

TEST(AttributeWalk, YieldsWholeAttributesUpToTheEndMarker) {
  ThreeAttributes r;
  EXPECT_EQ(r.Walk(), (std::vector<std::uint32_t>{0x10, 0x30, 0x80}));
  EXPECT_FALSE(r.damaged);
}

TEST(AttributeWalk, EndsOnEveryBoundThatFails) {
  using T = ThreeAttributes;
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    std::vector<std::uint32_t> types;
    bool damaged;
  };
  const Case cases[] = {
      {"length 0", [](Bytes& b) { Put32(b, T::kSecond + 4, 0); }, {0x10}, true},
      {"length past bytes in use", [](Bytes& b) { Put32(b, T::kSecond + 4, 0x300); }, {0x10}, true},
      {"length past the record",
       [](Bytes& b) { Put32(b, T::kSecond + 4, 0xFFFFFFF0); },
       {0x10},
       true},
      {"resident attribute shorter than its header",
       [](Bytes& b) { Put32(b, T::kSecond + 4, 0x10); },
       {0x10},
       true},
      {"non-resident attribute shorter than its header",
       [](Bytes& b) {
         b[T::kSecond + 8] = 1;
         Put32(b, T::kSecond + 4, 0x30);
       },
       {0x10},
       true},
      {"bytes in use cut the last attribute",
       [](Bytes& b) { Put32(b, 0x18, T::kThird + 8); },
       {0x10, 0x30},
       true},
      // Where the end marker was, an attribute up to the record's end, or one byte beyond.
      {"bytes in use beyond the record, an attribute filling it",
       [](Bytes& b) {
         Put32(b, 0x18, 0x10000);
         Put32(b, T::kEnd, 0x40);
         Put32(b, T::kEnd + 4, 1024 - T::kEnd);
       },
       {0x10, 0x30, 0x80, 0x40},
       false},
      {"bytes in use beyond the record, an attribute running past it",
       [](Bytes& b) {
         Put32(b, 0x18, 0x10000);
         Put32(b, T::kEnd, 0x40);
         Put32(b, T::kEnd + 4, 1024 - T::kEnd + 8);
       },
       {0x10, 0x30, 0x80},
       true},
      {"first attribute beyond the bound", [](Bytes& b) { Put16(b, 0x14, 0x500); }, {}, true},
      {"first attribute at the bound", [](Bytes& b) { Put16(b, 0x14, T::kEnd + 8); }, {}, false},
      {"type 0 is an attribute to the plain walk",
       [](Bytes& b) { Put32(b, T::kSecond, 0); },
       {0x10, 0, 0x80},
       false},
  };
  for (const Case& c : cases) {
    ThreeAttributes r;
    c.damage(r.record);
    EXPECT_EQ(r.Walk(), c.types) << c.what;
    EXPECT_EQ(r.damaged, c.damaged) << c.what;
  }
}

TEST(AttributeWalk, ScanTimeWalksStopAtTypeZeroAndFillPatterns) {
  for (const std::uint32_t type : {0u, 0xFDFDFDFDu, 0xFEEEEEEEu}) {
    ThreeAttributes r;
    Put32(r.record, ThreeAttributes::kSecond, type);
    EXPECT_EQ(r.Walk(WalkStops::kScanTime), (std::vector<std::uint32_t>{0x10})) << type;
    EXPECT_FALSE(r.damaged) << type;
  }
}

TEST(ResidentValue, MustLieInsideItsAttribute) {
  ThreeAttributes r;
  Attribute a;
  a.bytes = std::span(r.record).subspan(ThreeAttributes::kThird, 0x80);
  ASSERT_EQ(ParseAttributeHeader(a.bytes, a.header), ParseStatus::kOk);
  std::span<const std::uint8_t> value;
  ASSERT_EQ(ResidentValue(a, value), ParseStatus::kOk);
  EXPECT_EQ(value.size(), 100u);
  EXPECT_EQ(value[0], 'x');

  a.header.valueLength = 0x69;  // one byte past the attribute
  EXPECT_EQ(ResidentValue(a, value), ParseStatus::kDamaged);
  EXPECT_TRUE(value.empty());
  a.header.valueLength = 1;
  a.header.valueOffset = 0x80;
  EXPECT_EQ(ResidentValue(a, value), ParseStatus::kDamaged);
  a.header.nonResident = true;
  EXPECT_EQ(ResidentValue(a, value), ParseStatus::kNotThisStructure);
}

TEST(FileNameAttribute, ReadsTheFieldsAndKeepsTheNameInsideTheAttribute) {
  const Bytes bytes = testing::ResidentAttribute(
      0x30, testing::FileNameValue(0x1234, u"Grüße.txt", file_name_namespace::kWin32, 4242));
  Attribute a;
  a.bytes = bytes;
  ASSERT_EQ(ParseAttributeHeader(a.bytes, a.header), ParseStatus::kOk);
  FileNameAttribute f;
  ASSERT_EQ(ParseFileNameAttribute(a, f), ParseStatus::kOk);
  EXPECT_EQ(f.parentRecord, 0x1234u) << "the sequence number is not part of it";
  EXPECT_EQ(f.created, 0x01D0000000000001u);
  EXPECT_EQ(f.modified, 0x01D0000000000002u);
  EXPECT_EQ(f.accessed, 0x01D0000000000004u);
  EXPECT_EQ(f.realSize, 4242u);
  EXPECT_EQ(f.nameNamespace, file_name_namespace::kWin32);
  EXPECT_EQ(f.name, u"Grüße.txt");

  Attribute cut = a;
  cut.bytes = std::span(bytes).first(0x18 + 0x42 + 2 * 9 - 1);  // the last character cut
  EXPECT_EQ(ParseFileNameAttribute(cut, f), ParseStatus::kDamaged);
  cut.bytes = std::span(bytes).first(0x20);
  EXPECT_EQ(ParseFileNameAttribute(cut, f), ParseStatus::kDamaged);
  Attribute other = a;
  other.header.type = 0x80;
  EXPECT_EQ(ParseFileNameAttribute(other, f), ParseStatus::kNotThisStructure);
  Attribute nonResident = a;
  nonResident.header.nonResident = true;
  EXPECT_EQ(ParseFileNameAttribute(nonResident, f), ParseStatus::kDamaged);
}

TEST(AttributeListWalk, ReadsEntriesAndEndsOnLengthZeroOrDamage) {
  const auto walk = [](const Bytes& list, bool& damaged) {
    AttributeListWalk w(list);
    std::vector<std::uint64_t> records;
    AttributeListEntry e;
    while (w.Next(e)) records.push_back(e.recordNumber);
    damaged = w.damaged();
    return records;
  };
  Bytes list = testing::AttributeListEntryBytes(0x10, 0, 40);
  const Bytes named = testing::AttributeListEntryBytes(0x80, 300, 41, u"secret");
  list.insert(list.end(), named.begin(), named.end());
  bool damaged = true;
  EXPECT_EQ(walk(list, damaged), (std::vector<std::uint64_t>{40, 41}));
  EXPECT_FALSE(damaged);

  AttributeListEntry e;
  ASSERT_EQ(ParseAttributeListEntry(std::span(list).subspan(0x20), e), ParseStatus::kOk);
  EXPECT_EQ(e.type, 0x80u);
  EXPECT_EQ(e.startingVcn, 300u);
  EXPECT_EQ(e.name, u"secret");

  Bytes zeroLength = list;
  Put16(zeroLength, 0x04, 0);
  EXPECT_EQ(walk(zeroLength, damaged), std::vector<std::uint64_t>{});
  EXPECT_TRUE(damaged);
  Bytes nameOutside = list;
  nameOutside[0x20 + 6] = 40;  // 40 characters do not fit in the entry
  EXPECT_EQ(walk(nameOutside, damaged), (std::vector<std::uint64_t>{40}));
  EXPECT_TRUE(damaged);
  Bytes pastTheEnd = list;
  Put16(pastTheEnd, 0x20 + 4, 0x200);
  EXPECT_EQ(walk(pastTheEnd, damaged), (std::vector<std::uint64_t>{40}));
  EXPECT_TRUE(damaged);
  Bytes padded = list;
  padded.resize(list.size() + 8, 0);  // zeros after the last entry end the list quietly
  EXPECT_EQ(walk(padded, damaged), (std::vector<std::uint64_t>{40, 41}));
  EXPECT_FALSE(damaged);
}

}  // namespace
}  // namespace keldrive
