#include "engine/table/collation.h"

#include <array>
#include <cstring>

#include "platform/code_page.h"

namespace vantrose {
namespace {

// The built-in order of Windows-1252 bytes, lowest weight first: control and
// undefined bytes, blanks, punctuation and symbols, digits, then the letters
// alphabetically, each letter's upper- and lower-case forms together and its
// accented forms right behind it. The zero byte weighs least, so the zero
// padding of CSTRING and PSTRING parts and the blank padding of STRING parts
// put a shorter text before every longer one that it begins.
constexpr uint8_t kAnsiOrder[] = {
    // controls, DEL and the bytes that Windows-1252 leaves undefined
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,
    0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19,
    0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x7F, 0x81, 0x8D, 0x8F, 0x90, 0x9D,
    // blanks
    ' ', 0xA0,
    // punctuation and symbols
    '!', '"', '#', '$', '%', '&', '\'', '(', ')', '*', '+', ',', '-', '.', '/', ':',
    ';', '<', '=', '>', '?', '@', '[', '\\', ']', '^', '_', '`', '{', '|', '}', '~',
    0x80, 0x82, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8B, 0x91, 0x92, 0x93, 0x94,
    0x95, 0x96, 0x97, 0x98, 0x99, 0x9B, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
    0xA8, 0xA9, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB4, 0xB5, 0xB6, 0xB7,
    0xB8, 0xBB, 0xBF, 0xD7, 0xF7,
    // digits, superscripts beside their digits, then the fractions
    '0', '1', 0xB9, '2', 0xB2, '3', 0xB3, '4', '5', '6', '7', '8', '9',
    0xBC, 0xBD, 0xBE,
    // letters
    'A', 'a', 0xAA, 0xC0, 0xE0, 0xC1, 0xE1, 0xC2, 0xE2, 0xC3, 0xE3, 0xC4, 0xE4,
    0xC5, 0xE5, 0xC6, 0xE6,
    'B', 'b', 'C', 'c', 0xC7, 0xE7, 'D', 'd', 0xD0, 0xF0,
    'E', 'e', 0xC8, 0xE8, 0xC9, 0xE9, 0xCA, 0xEA, 0xCB, 0xEB,
    'F', 'f', 0x83, 'G', 'g', 'H', 'h',
    'I', 'i', 0xCC, 0xEC, 0xCD, 0xED, 0xCE, 0xEE, 0xCF, 0xEF,
    'J', 'j', 'K', 'k', 'L', 'l', 'M', 'm', 'N', 'n', 0xD1, 0xF1,
    'O', 'o', 0xBA, 0xD2, 0xF2, 0xD3, 0xF3, 0xD4, 0xF4, 0xD5, 0xF5, 0xD6, 0xF6,
    0xD8, 0xF8, 0x8C, 0x9C,
    'P', 'p', 'Q', 'q', 'R', 'r', 'S', 's', 0x8A, 0x9A, 0xDF, 'T', 't',
    'U', 'u', 0xD9, 0xF9, 0xDA, 0xFA, 0xDB, 0xFB, 0xDC, 0xFC,
    'V', 'v', 'W', 'w', 'X', 'x', 'Y', 'y', 0xDD, 0xFD, 0x9F, 0xFF,
    'Z', 'z', 0x8E, 0x9E, 0xDE, 0xFE,
};

constexpr bool IsPermutation(const uint8_t* order, size_t length) {
  if (length != 256) return false;
  bool seen[256] = {};
  for (size_t i = 0; i < length; ++i) {
    if (seen[order[i]]) return false;
    seen[order[i]] = true;
  }
  return true;
}
static_assert(IsPermutation(kAnsiOrder, sizeof kAnsiOrder), "every byte weighs once");

// Upper-case forms of Windows-1252 lower-case letters; every other byte is
// its own upper-case form (sharp s, ordinals and micro sign have none).
uint8_t UpperOf(uint8_t b) {
  if (b >= 'a' && b <= 'z') return uint8_t(b - 0x20);
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return uint8_t(b - 0x20);
  switch (b) {
    case 0x9A: return 0x8A;  // s caron
    case 0x9C: return 0x8C;  // oe
    case 0x9E: return 0x8E;  // z caron
    case 0xFF: return 0x9F;  // y diaeresis
    default: return b;
  }
}

// OEM text weighs like the ANSI text it stands for: OEM bytes that have an
// ANSI counterpart take the ANSI order; the OEM-only characters (box drawing,
// shades, Greek letters, mathematical signs) sort as symbols, after the ANSI
// symbols and before the digits, in byte order.
void BuildOemWeights(CollationTables& tables) {
  const uint8_t* to_oem = AnsiToOemMap();
  const uint8_t* to_ansi = OemToAnsiMap();
  auto is_shared_oem = [&](uint8_t oem) { return to_oem[to_ansi[oem]] == oem; };
  unsigned weight = 0;
  for (uint8_t ansi : kAnsiOrder) {
    if (ansi == '0') {
      for (unsigned oem = 0; oem < 256; ++oem) {
        if (!is_shared_oem(uint8_t(oem))) tables.oem_weight[oem] = uint8_t(weight++);
      }
    }
    const uint8_t oem = to_oem[ansi];
    if (to_ansi[oem] == ansi) tables.oem_weight[oem] = uint8_t(weight++);
  }
}

CollationTables MakeBuiltIn() {
  CollationTables tables;
  std::memset(&tables, 0, sizeof tables);
  for (unsigned i = 0; i < 256; ++i) tables.ansi_weight[kAnsiOrder[i]] = uint8_t(i);
  BuildOemWeights(tables);
  for (unsigned b = 0; b < 256; ++b) {
    tables.upper[b] = UpperOf(uint8_t(b));
    tables.class_flags[b] = tables.upper[b] != b ? COLLATE_FOLD_CASE : 0;
  }
  return tables;
}

}  // namespace

const uint8_t* CollationTables::FindExpansion(uint8_t byte) const {
  for (size_t i = 0; i < sizeof expansions && expansions[i] != 0; i += 4) {
    if (expansions[i] == byte) return &expansions[i];
  }
  return nullptr;
}

const CollationTables& BuiltInCollation() {
  static const CollationTables tables = MakeBuiltIn();
  return tables;
}

void SerialiseCollation(const CollationTables& tables, std::span<uint8_t, kCollationTablesSize> out) {
  std::memcpy(out.data(), &tables, kCollationTablesSize);
}

bool ParseCollation(std::span<const uint8_t> bytes, CollationTables* tables) {
  if (bytes.size() != kCollationTablesSize) return false;
  std::memcpy(tables, bytes.data(), kCollationTablesSize);
  return true;
}

void SerialiseCollationRecord(bool oem, const CollationTables& tables,
                              std::span<uint8_t, kCollationRecordDataSize> out) {
  out[0] = oem ? 1 : 0;
  SerialiseCollation(tables, out.subspan<1>());
}

bool ParseCollationRecord(std::span<const uint8_t> data, bool* oem, CollationTables* tables) {
  if (data.size() != kCollationRecordDataSize) return false;
  *oem = data[0] != 0;
  return ParseCollation(data.subspan(1), tables);
}

}  // namespace vantrose
