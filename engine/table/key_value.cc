#include "engine/table/key_value.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/byte_order.h"
#include "engine/storage/corruption.h"
#include "engine/table/collation.h"
#include "engine/table/record_kinds.h"
#include "platform/code_page.h"
#include "runtime/declared.h"

namespace vantrose {
namespace {

// Check code: a record of 15094 bytes or more would be created.
constexpr uint32_t kCheckRecordTooLong = 824;

// The bytes of a component's field that lie inside the record image. The
// descriptors keep every field inside the record; this only keeps a damaged
// definition from reading outside the image (the missing bytes form as
// zeros).
std::span<const uint8_t> FieldBytes(const FieldDescriptor& field, std::span<const uint8_t> record) {
  if (field.offset >= record.size()) return {};
  return record.subspan(field.offset, std::min<size_t>(field.size, record.size() - field.offset));
}

void CopyPadded(uint8_t* part, uint32_t size, std::span<const uint8_t> bytes) {
  if (!bytes.empty()) std::memcpy(part, bytes.data(), bytes.size());
  std::memset(part + bytes.size(), 0, size - bytes.size());
}

// Integers and floating-point numbers are stored least significant byte
// first; most significant first makes byte order numeric order.
void CopyReversed(uint8_t* part, uint32_t size, std::span<const uint8_t> bytes) {
  CopyPadded(part, size, bytes);
  std::reverse(part, part + size);
}

// How the text of a part becomes its weights: NOCASE folding, then (OEM
// tables) the code-page conversion, then the weight table.
struct TextWeighting {
  const CollationTables& tables;
  bool fold_case;
  bool oem;
  const uint8_t* to_oem = AnsiToOemMap();

  uint8_t Folded(uint8_t b) const {
    return fold_case && (tables.class_flags[b] & COLLATE_FOLD_CASE) ? tables.upper[b] : b;
  }
  // Weight of a byte that has been folded and expanded already.
  uint8_t Weight(uint8_t b) const {
    return oem ? tables.oem_weight[to_oem[b]] : tables.ansi_weight[b];
  }
};

// The common case, without expansions: one lookup chain per byte, and the
// padding (text bytes past `text`) weighs as the zero byte.
template <bool kFoldCase, bool kOem>
void WeighPlain(const CollationTables& tables, uint8_t* part, uint32_t size,
                std::span<const uint8_t> text) {
  const uint8_t* to_oem = AnsiToOemMap();
  const uint8_t* weights = kOem ? tables.oem_weight : tables.ansi_weight;
  auto weigh = [&](uint8_t b) {
    if constexpr (kFoldCase) {
      if (tables.class_flags[b] & COLLATE_FOLD_CASE) b = tables.upper[b];
    }
    if constexpr (kOem) b = to_oem[b];
    return weights[b];
  };
  for (size_t i = 0; i < text.size(); ++i) part[i] = weigh(text[i]);
  std::memset(part + text.size(), weigh(0), size - text.size());
}

// With expansions the part is rewritten from its own bytes (the text and
// then zero padding): an expanded byte yields two, and whatever no longer
// fits in the part is dropped. Every source byte yields at least one output
// byte, so the part is always filled.
void WeighExpanded(const TextWeighting& weighting, uint8_t* part, uint32_t size,
                   std::span<const uint8_t> text) {
  uint32_t written = 0;
  for (uint32_t i = 0; written < size; ++i) {
    const uint8_t b = weighting.Folded(i < text.size() ? text[i] : 0);
    if (const uint8_t* entry = weighting.tables.FindExpansion(b)) {
      part[written++] = weighting.Weight(entry[1]);
      if (written < size) part[written++] = weighting.Weight(entry[2]);
    } else {
      part[written++] = weighting.Weight(b);
    }
  }
}

void WeighText(const TextWeighting& weighting, uint8_t* part, uint32_t size,
               std::span<const uint8_t> text) {
  if (weighting.tables.HasExpansions()) return WeighExpanded(weighting, part, size, text);
  const CollationTables& tables = weighting.tables;
  if (weighting.fold_case) {
    weighting.oem ? WeighPlain<true, true>(tables, part, size, text)
                  : WeighPlain<true, false>(tables, part, size, text);
  } else {
    weighting.oem ? WeighPlain<false, true>(tables, part, size, text)
                  : WeighPlain<false, false>(tables, part, size, text);
  }
}

// The text bytes of a PSTRING: as many as its first byte says, but at most
// size - 1, the bytes the field has behind its length byte. A longer length
// (a damaged record) cannot reach into the next field, and the part keeps
// the field's size.
std::span<const uint8_t> PascalText(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return {};
  return bytes.subspan(1, std::min<size_t>(bytes[0], bytes.size() - 1));
}

std::span<const uint8_t> CText(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return bytes;
  const void* zero = std::memchr(bytes.data(), 0, bytes.size());
  return zero ? bytes.first(static_cast<const uint8_t*>(zero) - bytes.data()) : bytes;
}

bool AllBytesAre(std::span<const uint8_t> bytes, uint8_t value) {
  return std::all_of(bytes.begin(), bytes.end(), [value](uint8_t b) { return b == value; });
}

}  // namespace

uint32_t KeyValueLength(const KeyDescriptor& key) {
  uint64_t length = 0;
  for (const KeyComponent& component : key.components) length += component.field->size;
  return static_cast<uint32_t>(std::min<uint64_t>(length, UINT32_MAX));
}

void CheckEntryFits(const KeyDescriptor& key) {
  if (KeyValueLength(key) > kMaxKeyValueLength) ReportCorruption(kCheckRecordTooLong);
}

void FormKeyValue(const TableState& state, const KeyDescriptor& key, uint8_t* out,
                  std::span<const uint8_t> record) {
  const TextWeighting weighting{state.collation ? *state.collation : BuiltInCollation(),
                                (key.flags & KEY_NOCASE) != 0,
                                (state.attributes & ATTR_OEM) != 0};
  uint8_t* part = out;
  for (const KeyComponent& component : key.components) {
    const FieldDescriptor& field = *component.field;
    const uint32_t size = field.size;
    const std::span<const uint8_t> bytes = FieldBytes(field, record);
    bool descending = component.descending != 0;
    if (size == 0) continue;
    switch (field.type) {
      case TYPE_SHORT:
      case TYPE_LONG:
        // Two's complement with the sign bit flipped orders by value.
        CopyReversed(part, size, bytes);
        part[0] ^= 0x80;
        break;
      case TYPE_USHORT:
      case TYPE_DATE:
      case TYPE_TIME:
      case TYPE_ULONG:
        CopyReversed(part, size, bytes);
        break;
      case TYPE_SREAL:
      case TYPE_REAL:
        // IEEE sign and magnitude: a positive number gets its top bit set; a
        // negative one has all bits inverted (larger magnitude, smaller key).
        CopyReversed(part, size, bytes);
        if (part[0] & 0x80) {
          descending = !descending;
        } else {
          part[0] |= 0x80;
        }
        break;
      case TYPE_DECIMAL:
        // Packed decimal, sign nibble first: the digits order magnitudes;
        // a negative value (any nonzero sign) is inverted with its sign
        // cleared, and the top bit puts positives above all negatives.
        CopyPadded(part, size, bytes);
        if (part[0] & 0xF0) {
          part[0] &= 0x0F;
          descending = !descending;
        }
        part[0] ^= 0x80;
        break;
      case TYPE_STRING:
      case TYPE_GROUP:
        WeighText(weighting, part, size, bytes);
        break;
      case TYPE_CSTRING:
        WeighText(weighting, part, size, CText(bytes));
        break;
      case TYPE_PSTRING:
        WeighText(weighting, part, size, PascalText(bytes));
        break;
      default:
        CopyPadded(part, size, bytes);
        break;
    }
    if (descending) {
      for (uint32_t i = 0; i < size; ++i) part[i] = static_cast<uint8_t>(~part[i]);
    }
    part += size;
  }
}

uint32_t EntryKeyLength(const KeyDescriptor& key) {
  return uint32_t(kTablePrefixLength) + KeyValueLength(key) + ((key.flags & KEY_DUP) ? 4 : 0);
}

uint32_t EntryLength(const KeyDescriptor& key) {
  return uint32_t(kTablePrefixLength) + KeyValueLength(key) + 4;
}

void WriteEntry(const TableState& state, const KeyDescriptor& key, std::span<const uint8_t> record,
                uint32_t record_number, uint8_t* out) {
  TablePrefixKey(out, state.table_number, static_cast<uint8_t>(key.number));
  if (!record.empty()) FormKeyValue(state, key, out + kTablePrefixLength, record);
  StoreBE32(out + kTablePrefixLength + KeyValueLength(key), record_number);
}

RecordNodePtr FormEntry(const TableState& state, const KeyDescriptor& key,
                        std::span<const uint8_t> record) {
  CheckEntryFits(key);
  const uint32_t key_length = EntryKeyLength(key);
  RecordNodePtr entry = RecordNode::New(key_length, EntryLength(key) - key_length);
  WriteEntry(state, key, record, 0, entry->bytes());
  return entry;
}

void SetEntryRecordNumber(RecordNode& entry, uint32_t record_number) {
  StoreBE32(entry.bytes() + entry.total_length() - 4, record_number);
}

uint32_t EntryRecordNumber(const RecordNode& entry) {
  return LoadBE32(entry.bytes() + entry.total_length() - 4);
}

bool IsBlankForKey(const KeyDescriptor& key, std::span<const uint8_t> record) {
  if (!(key.flags & KEY_OPT)) return false;
  for (const KeyComponent& component : key.components) {
    const std::span<const uint8_t> bytes = FieldBytes(*component.field, record);
    switch (component.field->type) {
      case TYPE_STRING:
      case TYPE_GROUP:
        if (!AllBytesAre(bytes, ' ')) return false;
        break;
      case TYPE_CSTRING:
      case TYPE_PSTRING:
        if (!bytes.empty() && bytes[0] != 0) return false;
        break;
      default:
        if (!AllBytesAre(bytes, 0)) return false;
        break;
    }
  }
  return true;
}

}  // namespace vantrose
