#include "engine/table/collation.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "platform/code_page.h"

namespace vantrose {
namespace {

bool IsPermutation(const uint8_t* weights) {
  std::array<bool, 256> seen{};
  for (unsigned b = 0; b < 256; ++b) {
    if (seen[weights[b]]) return false;
    seen[weights[b]] = true;
  }
  return true;
}

TEST(BuiltInCollationTest, WeightsAreOneToOne) {
  const CollationTables& tables = BuiltInCollation();
  EXPECT_TRUE(IsPermutation(tables.ansi_weight));
  EXPECT_TRUE(IsPermutation(tables.oem_weight));
  EXPECT_EQ(tables.ansi_weight[0], 0);
  EXPECT_FALSE(tables.HasExpansions());
}

TEST(BuiltInCollationTest, WeightOrder) {
  const uint8_t* w = BuiltInCollation().ansi_weight;
  // zero < controls < blank < punctuation < digits < letters
  const uint8_t ascending[] = {0x00, 0x1F, ' ', '!', '~', 0xF7, '0', '1', 0xB9, '2', '9',
                               'A', 'a', 0xC4, 0xE4, 'B', 'S', 's', 0x8A, 0xDF, 'Z', 'z', 0xFE};
  for (size_t i = 0; i + 1 < sizeof ascending; ++i) {
    EXPECT_LT(w[ascending[i]], w[ascending[i + 1]]) << std::hex << int(ascending[i]);
  }
}

TEST(BuiltInCollationTest, OemWeightsFollowTheAnsiOrder) {
  const CollationTables& tables = BuiltInCollation();
  const uint8_t* to_oem = AnsiToOemMap();
  const uint8_t* to_ansi = OemToAnsiMap();
  std::vector<uint8_t> shared;  // ANSI bytes whose character OEM has too
  for (unsigned b = 0; b < 256; ++b) {
    if (to_ansi[to_oem[b]] == b) shared.push_back(uint8_t(b));
  }
  for (uint8_t a : shared) {
    for (uint8_t b : shared) {
      EXPECT_EQ(tables.ansi_weight[a] < tables.ansi_weight[b],
                tables.oem_weight[to_oem[a]] < tables.oem_weight[to_oem[b]]);
    }
  }
  // Box drawing sorts with the symbols: after '~', before '0'.
  EXPECT_GT(tables.oem_weight[0xC4], tables.oem_weight[uint8_t('~')]);
  EXPECT_LT(tables.oem_weight[0xC4], tables.oem_weight[uint8_t('0')]);
}

TEST(BuiltInCollationTest, UpperCaseMapAndFoldFlags) {
  const CollationTables& tables = BuiltInCollation();
  struct Case {
    uint8_t byte, upper;
    bool folds;
  } cases[] = {
      {'a', 'A', true},   {'z', 'Z', true},    {'A', 'A', false},  {'1', '1', false},
      {0xE9, 0xC9, true}, {0xFE, 0xDE, true},  {0x9A, 0x8A, true}, {0x9C, 0x8C, true},
      {0x9E, 0x8E, true}, {0xFF, 0x9F, true},  {0xDF, 0xDF, false}, {0xF7, 0xF7, false},
      {0xB5, 0xB5, false}, {0xAA, 0xAA, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tables.upper[c.byte], c.upper) << std::hex << int(c.byte);
    EXPECT_EQ((tables.class_flags[c.byte] & COLLATE_FOLD_CASE) != 0, c.folds) << std::hex << int(c.byte);
  }
}

TEST(CollationTablesTest, ExpansionListEndsAtTheFirstZeroSource) {
  CollationTables tables = BuiltInCollation();
  const uint8_t entries[] = {0xDF, 's', 's', 0, 0xC6, 'A', 'E', 0, 0, 0, 0, 0, 0xE6, 'a', 'e', 0};
  std::memcpy(tables.expansions, entries, sizeof entries);
  ASSERT_TRUE(tables.HasExpansions());
  ASSERT_NE(tables.FindExpansion(0xC6), nullptr);
  EXPECT_EQ(tables.FindExpansion(0xC6)[1], 'A');
  EXPECT_EQ(tables.FindExpansion(0xE6), nullptr);  // after the end of the list
  EXPECT_EQ(tables.FindExpansion(0), nullptr);
  EXPECT_EQ(tables.FindExpansion('x'), nullptr);

  std::memset(tables.expansions, 'x', sizeof tables.expansions);  // 16 entries, no end
  tables.expansions[60] = 0x01;
  EXPECT_NE(tables.FindExpansion(0x01), nullptr);
  EXPECT_EQ(tables.FindExpansion(0x02), nullptr);
}

TEST(CollationTablesTest, SerialiseAndParse) {
  CollationTables tables = BuiltInCollation();
  tables.expansions[0] = 0xDF;
  tables.spare[63] = 0x5A;
  std::array<uint8_t, kCollationTablesSize> bytes;
  SerialiseCollation(tables, bytes);
  EXPECT_EQ(bytes[0], tables.ansi_weight[0]);
  EXPECT_EQ(bytes[256 + 0x82], tables.oem_weight[0x82]);
  EXPECT_EQ(bytes[512 + 'a'], 'A');
  EXPECT_EQ(bytes[768 + 'a'], COLLATE_FOLD_CASE);
  EXPECT_EQ(bytes[1024], 0xDF);
  EXPECT_EQ(bytes[1151], 0x5A);

  CollationTables parsed;
  ASSERT_TRUE(ParseCollation(bytes, &parsed));
  EXPECT_EQ(std::memcmp(&parsed, &tables, sizeof tables), 0);
  EXPECT_FALSE(ParseCollation(std::span<const uint8_t>(bytes).first(1151), &parsed));
}

TEST(CollationTablesTest, CollationRecordCarriesTheOemFlag) {
  const CollationTables& tables = BuiltInCollation();
  for (bool oem : {false, true}) {
    std::array<uint8_t, kCollationRecordDataSize> data;
    SerialiseCollationRecord(oem, tables, data);
    EXPECT_EQ(data[0], oem ? 1 : 0);
    bool parsed_oem = !oem;
    CollationTables parsed;
    ASSERT_TRUE(ParseCollationRecord(data, &parsed_oem, &parsed));
    EXPECT_EQ(parsed_oem, oem);
    EXPECT_EQ(std::memcmp(&parsed, &tables, sizeof tables), 0);
  }
  std::vector<uint8_t> too_long(kCollationRecordDataSize + 1, 0);
  bool oem = false;
  CollationTables parsed;
  EXPECT_FALSE(ParseCollationRecord(too_long, &oem, &parsed));
  EXPECT_FALSE(ParseCollationRecord({}, &oem, &parsed));
}

}  // namespace
}  // namespace vantrose
