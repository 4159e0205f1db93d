#include "engine/storage/page_image.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/storage/byte_order.h"
#include "engine/storage/corruption.h"

namespace vantrose {
namespace {

constexpr size_t kMaxPageField = 0xFFFF;  // sizes and counts are 16-bit fields
constexpr uint8_t kFlagTotal = 0x80;
constexpr uint8_t kFlagKey = 0x40;
constexpr uint8_t kSharedMask = 0x3F;
constexpr size_t kMaxCountBytes = 5;  // base-128 digits of a 32-bit count

constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
constexpr uint64_t kHigh1 = 0x8080808080808080ULL;
constexpr uint64_t kEachByte = 0x0101010101010101ULL;

// Eight bytes with byte k of memory in bits 8k..8k+7.
inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

// 0x80 in every byte of x that is zero, 0 elsewhere (exact, no carries).
inline uint64_t ZeroBytes(uint64_t x) { return ~(((x & kLow7) + kLow7) | x | kLow7); }

inline size_t FirstSetByte(uint64_t x) { return static_cast<size_t>(std::countr_zero(x)) / 8; }

// Number of equal leading bytes of a and b, at most `limit`.
size_t SharedPrefix(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t n = 0;
  for (; n + 8 <= limit; n += 8) {
    uint64_t diff = Load64(a + n) ^ Load64(b + n);
    if (diff != 0) return n + FirstSetByte(diff);
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// The first position p >= from where four equal bytes begin, or n.
size_t FindRun(const uint8_t* s, size_t from, size_t n) {
  size_t p = from;
  // Byte k of (word at p) ^ (word at p + 1) is zero when s[p+k] == s[p+k+1];
  // three zero bytes in a row from k mark a run of four at p + k, which can
  // be seen for k = 0..5 within one pair of loads.
  for (; p + 9 <= n; p += 6) {
    uint64_t equal = ZeroBytes(Load64(s + p) ^ Load64(s + p + 1));
    uint64_t runs = equal & (equal >> 8) & (equal >> 16) & 0x0000808080808080ULL;
    if (runs != 0) return p + FirstSetByte(runs);
  }
  for (; p + 4 <= n; ++p) {
    if (s[p] == s[p + 1] && s[p] == s[p + 2] && s[p] == s[p + 3]) return p;
  }
  return n;
}

// The first position after `start` whose byte differs from s[start], or n.
size_t RunEnd(const uint8_t* s, size_t start, size_t n) {
  const uint64_t pattern = kEachByte * s[start];
  size_t q = start + 1;
  for (; q + 8 <= n; q += 8) {
    uint64_t diff = Load64(s + q) ^ pattern;
    if (diff != 0) return q + FirstSetByte(diff);
  }
  while (q < n && s[q] == s[start]) ++q;
  return q;
}

size_t CountSize(size_t value) {
  size_t bytes = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++bytes;
  }
  return bytes;
}

uint8_t* PutCount(uint8_t* out, size_t value) {
  while (value >= 0x80) {
    *out++ = static_cast<uint8_t>(value | 0x80);
    value >>= 7;
  }
  *out++ = static_cast<uint8_t>(value);
  return out;
}

// Reads a base-128 count at source[*pos]. A count cut off by the end of the
// source, or longer than any count a page can hold, is a damaged area.
uint64_t GetCount(std::span<const uint8_t> source, size_t* pos) {
  uint64_t value = 0;
  for (size_t digit = 0; digit < kMaxCountBytes; ++digit) {
    if (*pos >= source.size()) ReportCorruption(522);
    uint8_t byte = source[(*pos)++];
    value |= uint64_t{byte & 0x7Fu} << (7 * digit);
    if ((byte & 0x80) == 0) return value;
  }
  return UINT64_MAX;
}

// The child-number area lies between the fixed header and the records.
size_t RecordAreaStart(uint8_t level, size_t count) {
  return kPageHeaderSize + (level > 0 ? 4 * count : 0);
}

}  // namespace

size_t PackRecords(std::span<const RecordView> records, uint8_t* out, size_t capacity) {
  size_t pos = 0;
  const RecordView* previous = nullptr;
  for (const RecordView& record : records) {
    uint8_t flags = 0;
    size_t shared = 0;
    bool new_total = previous == nullptr || record.length != previous->length;
    bool new_key = previous == nullptr || record.key_length != previous->key_length;
    if (previous != nullptr) {
      size_t limit = std::min({kMaxSharedPrefix, size_t{record.length}, size_t{previous->length}});
      shared = SharedPrefix(record.bytes, previous->bytes, limit);
    }
    size_t tail = record.length - shared;
    size_t need = 1 + (new_total ? 2 : 0) + (new_key ? 2 : 0) + tail;
    if (need > capacity - pos) ReportCorruption(1659);
    uint8_t* flag_byte = out + pos++;
    if (new_total) {
      flags |= kFlagTotal;
      StoreLE16(out + pos, record.length);
      pos += 2;
    }
    if (new_key) {
      flags |= kFlagKey;
      StoreLE16(out + pos, record.key_length);
      pos += 2;
    }
    *flag_byte = static_cast<uint8_t>(flags | shared);
    if (tail != 0) std::memcpy(out + pos, record.bytes + shared, tail);
    pos += tail;
    previous = &record;
  }
  return pos;
}

size_t UnpackRecords(std::span<const uint8_t> area, size_t count, RecordSink& sink) {
  // The previous record's lengths and the leading bytes that a record may
  // share with it. Absent lengths of a first record read as 0, and it can
  // share nothing.
  uint16_t length = 0;
  uint16_t key_length = 0;
  uint8_t prefix[kMaxSharedPrefix];
  size_t prefix_length = 0;
  size_t pos = 0;
  const size_t size = area.size();
  for (size_t i = 0; i < count; ++i) {
    if (pos >= size) ReportCorruption(1602);
    uint8_t flags = area[pos++];
    size_t lengths = ((flags & kFlagTotal) ? 2 : 0) + ((flags & kFlagKey) ? 2 : 0);
    if (lengths > size - pos) ReportCorruption(1602);
    if (flags & kFlagTotal) {
      length = LoadLE16(area.data() + pos);
      pos += 2;
    }
    if (flags & kFlagKey) {
      key_length = LoadLE16(area.data() + pos);
      pos += 2;
    }
    size_t shared = flags & kSharedMask;
    if (length > kMaxRecordLength || key_length > length || shared > length ||
        shared > prefix_length) {
      ReportCorruption(1602);
    }
    size_t tail = length - shared;
    if (tail > size - pos) ReportCorruption(1602);
    // An empty record's room may be no pointer at all: copy nothing then.
    uint8_t* record = sink.AddRecord(length, key_length);
    prefix_length = std::min(size_t{length}, kMaxSharedPrefix);
    if (length != 0) {
      std::memcpy(record, prefix, shared);
      std::memcpy(record + shared, area.data() + pos, tail);
      std::memcpy(prefix, record, prefix_length);
    }
    pos += tail;
  }
  return pos;
}

size_t Compress(const uint8_t* source, size_t length, uint8_t* out) {
  const size_t n = length;
  size_t literal_start = 0;  // first byte not yet written
  size_t written = 0;
  size_t i = 0;
  while (i < n) {
    size_t run = FindRun(source, i, n);
    if (run == n) break;
    size_t run_end = RunEnd(source, run, n);
    // The literals end with the run's first byte; the rest of the run repeats it.
    size_t literals = run + 1 - literal_start;
    size_t repeats = run_end - run - 1;
    size_t group = CountSize(literals) + literals + CountSize(repeats);
    if (group >= n - written) return n;  // no gain; stop before `out` overflows
    uint8_t* at = PutCount(out + written, literals);
    std::memcpy(at, source + literal_start, literals);
    at = PutCount(at + literals, repeats);
    written = static_cast<size_t>(at - out);
    literal_start = run_end;
    i = run_end;
  }
  if (literal_start == 0) return n;
  size_t literals = n - literal_start;
  if (CountSize(literals) + literals >= n - written) return n;
  uint8_t* at = PutCount(out + written, literals);
  if (literals != 0) std::memcpy(at, source + literal_start, literals);
  return static_cast<size_t>(at + literals - out);
}

void Expand(std::span<const uint8_t> source, uint8_t* out, size_t length) {
  size_t pos = 0;
  size_t produced = 0;
  while (produced < length) {
    size_t missing = length - produced;
    uint64_t literals = GetCount(source, &pos);
    if (literals > missing || literals > source.size() - pos) ReportCorruption(522);
    if (literals != 0) std::memcpy(out + produced, source.data() + pos, literals);
    pos += literals;
    produced += literals;
    missing -= literals;
    if (missing == 0) break;
    uint64_t repeats = GetCount(source, &pos);
    // A repeat needs a byte before it to repeat.
    if (repeats > missing || (repeats != 0 && produced == 0)) ReportCorruption(530);
    if (repeats != 0) std::memset(out + produced, out[produced - 1], repeats);
    produced += repeats;
  }
}

std::vector<uint8_t> BuildImage(std::span<const RecordView> records, uint8_t level,
                                uint32_t estimate) {
  const size_t count = records.size();
  const size_t header = RecordAreaStart(level, count);
  // The unpacked size and the record count are 16-bit fields: a page beyond
  // them could not be read back, so it is refused like one beyond its estimate.
  const size_t capacity = std::min<size_t>(estimate, kMaxPageField);
  if (count > kMaxPageField || header > capacity) ReportCorruption(1659);

  std::vector<uint8_t> plain(capacity);
  const size_t unpacked = header + PackRecords(records, plain.data() + header, capacity - header);
  const size_t area = unpacked - header;

  std::vector<uint8_t> image;
  size_t stored = unpacked;
  if (area > 0) {
    std::vector<uint8_t> packed(unpacked);
    size_t compressed = Compress(plain.data() + header, area, packed.data() + header);
    if (compressed < area && ImageSlotSize(header + compressed) < ImageSlotSize(unpacked)) {
      stored = header + compressed;
      packed.resize(stored);
      image = std::move(packed);
    }
  }
  if (image.empty()) {
    plain.resize(unpacked);
    image = std::move(plain);
  }
  const size_t slot = ImageSlotSize(stored);
  if (slot > kMaxImageSize) ReportCorruption(1678);
  image.resize(slot, kImageFill);

  uint8_t* fields = image.data();
  StoreLE32(fields + 0, 0);
  StoreLE16(fields + 4, static_cast<uint16_t>(stored));
  StoreLE16(fields + 6, static_cast<uint16_t>(unpacked));
  StoreLE16(fields + 8, static_cast<uint16_t>(estimate));
  StoreLE16(fields + 10, static_cast<uint16_t>(count));
  fields[12] = level;
  std::memset(fields + kPageHeaderSize, 0, header - kPageHeaderSize);
  return image;
}

ParsedImage ParseImage(std::span<const uint8_t> image, RecordSink& sink) {
  if (image.size() < kPageHeaderSize) ReportCorruption(1477);
  const uint8_t* fields = image.data();
  const size_t stored = LoadLE16(fields + 4);
  const size_t unpacked = LoadLE16(fields + 6);
  const size_t count = LoadLE16(fields + 10);
  ParsedImage parsed;
  parsed.level = fields[12];
  parsed.estimate = LoadLE16(fields + 8);
  if (ImageSlotSize(stored) != image.size()) ReportCorruption(1477);

  const size_t header = RecordAreaStart(parsed.level, count);
  if (header > stored || stored > unpacked) ReportCorruption(1602);
  std::vector<uint8_t> expanded;
  std::span<const uint8_t> area;
  if (stored < unpacked) {
    expanded.resize(unpacked - header);
    Expand(image.subspan(header, stored - header), expanded.data(), expanded.size());
    area = expanded;
  } else {
    area = image.subspan(header, stored - header);
  }
  if (UnpackRecords(area, count, sink) != area.size()) ReportCorruption(1602);

  if (parsed.level > 0) {
    parsed.children.resize(count);
    for (size_t i = 0; i < count; ++i) {
      parsed.children[i] = static_cast<int32_t>(LoadLE32(fields + kPageHeaderSize + 4 * i));
    }
  }
  return parsed;
}

uint32_t ImageHomeOffset(const uint8_t* image) { return LoadLE32(image); }

void SetImageHomeOffset(uint8_t* image, uint32_t home_offset) { StoreLE32(image, home_offset); }

uint16_t ImageStoredSize(const uint8_t* image) { return LoadLE16(image + 4); }

uint8_t ImageLevel(const uint8_t* image) { return image[12]; }

void SetImageChild(uint8_t* image, size_t index, int32_t page) {
  StoreLE32(image + kPageHeaderSize + 4 * index, static_cast<uint32_t>(page));
}

}  // namespace vantrose
