#include "app/assign_record.h"

#include <cstring>

#include "app/declarations.h"

namespace vantrose {

void LongToDecimal72(int32_t value, uint8_t out[4]) {
  // Widened first: the magnitude of the smallest LONG does not fit in 32 bits.
  const int64_t wide = value;
  const uint64_t magnitude = static_cast<uint64_t>(wide < 0 ? -wide : wide);
  // The field holds five integer digits. Assigning a larger value keeps its
  // last five digits without an error, as the version-3 product does when it
  // stores into such a field; the sign survives, so -100000 becomes -0.00.
  uint32_t digits = static_cast<uint32_t>(magnitude % 100000);
  uint8_t nibbles[8];
  nibbles[0] = value < 0 ? 0xF : 0x0;
  for (int i = 5; i >= 1; --i) {
    nibbles[i] = static_cast<uint8_t>(digits % 10);
    digits /= 10;
  }
  nibbles[6] = 0;
  nibbles[7] = 0;
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<uint8_t>(nibbles[2 * i] << 4 | nibbles[2 * i + 1]);
  }
}

void AssignRecord() {
  // The layouts agree byte for byte outside the money fields (text, bytes,
  // the two groups with their LONG members), so one copy does those fields.
  std::memcpy(MovRecord.data(), InRecord.data(), kCatalogueRecordLength);
  for (uint32_t offset : {kBuyPriceOffset, kValueOffset}) {
    const uint8_t* in = InRecord.data() + offset;
    const uint32_t bits = uint32_t{in[0]} | uint32_t{in[1]} << 8 | uint32_t{in[2]} << 16 |
                          uint32_t{in[3]} << 24;  // LONG is little-endian
    LongToDecimal72(static_cast<int32_t>(bits), MovRecord.data() + offset);
  }
}

}  // namespace vantrose
