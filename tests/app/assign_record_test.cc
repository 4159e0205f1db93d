#include "app/assign_record.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <random>

#include "app/declarations.h"

namespace vantrose {
namespace {

void PutLong(uint32_t offset, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);  // LONG: little-endian
  for (int i = 0; i < 4; ++i) InRecord[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

std::array<uint8_t, 4> MoneyAt(uint32_t offset) {
  std::array<uint8_t, 4> out;
  std::memcpy(out.data(), MovRecord.data() + offset, 4);
  return out;
}

TEST(AssignRecordTest, MoneyFieldsBecomeTwoPlaceDecimals) {
  struct Case {
    int32_t value;
    std::array<uint8_t, 4> decimal;
  };
  const Case cases[] = {
      {12, {0x00, 0x00, 0x12, 0x00}},
      {0, {0x00, 0x00, 0x00, 0x00}},
      {-5, {0xF0, 0x00, 0x05, 0x00}},
      {-1, {0xF0, 0x00, 0x01, 0x00}},
      {99999, {0x09, 0x99, 0x99, 0x00}},
      {-99999, {0xF9, 0x99, 0x99, 0x00}},
      // Five integer digits are kept; the sign stays.
      {100000, {0x00, 0x00, 0x00, 0x00}},
      {100001, {0x00, 0x00, 0x01, 0x00}},
      {123456, {0x02, 0x34, 0x56, 0x00}},
      {-100000, {0xF0, 0x00, 0x00, 0x00}},
      {INT32_MAX, {0x08, 0x36, 0x47, 0x00}},
      {INT32_MIN, {0xF8, 0x36, 0x48, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    PutLong(kBuyPriceOffset, c.value);
    PutLong(kValueOffset, c.value == INT32_MIN ? 0 : -c.value);
    AssignRecord();
    EXPECT_EQ(MoneyAt(kBuyPriceOffset), c.decimal);
    std::array<uint8_t, 4> negated;
    LongToDecimal72(c.value == INT32_MIN ? 0 : -c.value, negated.data());
    EXPECT_EQ(MoneyAt(kValueOffset), negated);
  }
}

TEST(AssignRecordTest, EveryOtherByteIsCopiedUnchanged) {
  std::mt19937 random(7);
  for (uint8_t& byte : InRecord) byte = static_cast<uint8_t>(random());
  // Every byte value, control characters and 0x00 included, inside text fields.
  for (int i = 0; i < 256; ++i) InRecord[i] = static_cast<uint8_t>(i);
  MovRecord.fill(0xAA);
  AssignRecord();
  for (uint32_t i = 0; i < kCatalogueRecordLength; ++i) {
    const bool money = (i >= kBuyPriceOffset && i < kBuyPriceOffset + 4) ||
                       (i >= kValueOffset && i < kValueOffset + 4);
    if (!money) {
      ASSERT_EQ(MovRecord[i], InRecord[i]) << "offset " << i;
    }
  }
}

}  // namespace
}  // namespace vantrose
