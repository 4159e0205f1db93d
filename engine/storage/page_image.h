// Page images: the stored form of one page of the page tree.
//
//   offset     width      field (little-endian)
//        0         4      home offset: 512 + 256 * page number
//        4         2      stored size: bytes from offset 0 that carry content
//        6         2      unpacked size: the same before compression
//        8         2      size estimate of the page when written
//       10         2      record count
//       12         1      level: 0 leaf, n = n levels above the leaves
//       13   4*count      child page numbers, one per record (level > 0 only)
//        H       ...      record area: packed records, run-length compressed
//                         when stored size < unpacked size
//   stored  to 256-multiple  fill 0xB0
//
// Packed record (ascending key order; P is the previous record):
//   flags      1 byte: 0x80 total length follows, 0x40 key length follows,
//              bits 0-5 = S, bytes shared with P (0..63)
//   total      2 bytes if 0x80 (else L(P)); key length 2 bytes if 0x40 (else K(P))
//   tail       bytes S..L-1 of the record
//
// Compressed area: groups of [literal count N][N bytes][repeat count R], the
// R bytes repeating the last byte written; counts are base-128, low 7 bits
// first, 0x80 on every byte but the last. The area ends when the output is
// complete; a trailing literal count of 0 may follow the last repeat.
//
// Everything read from an image is checked before use: a damaged image ends
// in a corruption report, never a read or write outside its buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vantrose {

inline constexpr size_t kPageHeaderSize = 13;
inline constexpr size_t kMaxImageSize = 15104;    // 59 blocks
inline constexpr size_t kMaxRecordLength = 15093;
inline constexpr size_t kMaxSharedPrefix = 63;
inline constexpr uint8_t kImageFill = 0xB0;

// A stored record: `length` bytes, the first `key_length` of them its key.
struct RecordView {
  const uint8_t* bytes;
  uint16_t length;
  uint16_t key_length;
};

// Receives unpacked records in order. AddRecord answers room for `length`
// bytes that stays valid until the next call; the record is written there.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual uint8_t* AddRecord(uint16_t length, uint16_t key_length) = 0;
};

// Packs `records` (in key order) into `out`, which has room for `capacity`
// bytes; answers the packed length. More than `capacity` is report 1659.
size_t PackRecords(std::span<const RecordView> records, uint8_t* out, size_t capacity);

// Unpacks `count` records from `area` into `sink`; answers the bytes used.
// Records that do not lie within the area are report 1602.
size_t UnpackRecords(std::span<const uint8_t> area, size_t count, RecordSink& sink);

// Compresses `length` bytes into `out` (room for `length` bytes). Answers the
// compressed length, or `length` when compression gains nothing (then `out`
// holds nothing useful).
size_t Compress(const uint8_t* source, size_t length, uint8_t* out);

// Expands `source` into exactly `length` bytes at `out`. A literal run longer
// than the output still missing is report 522, a repeat run 530; the source
// ending before the output is complete is report 522 as well.
void Expand(std::span<const uint8_t> source, uint8_t* out, size_t length);

// The image of a page, `estimate` its size estimate: header, room for the
// child numbers (level > 0; filled in by SetImageChild before the write), the
// record area compressed when that saves a block, fill to a 256-multiple.
// A packed page longer than `estimate` is report 1659, an image longer than
// 15104 bytes report 1678.
std::vector<uint8_t> BuildImage(std::span<const RecordView> records, uint8_t level,
                                uint32_t estimate);

struct ParsedImage {
  uint8_t level = 0;
  uint16_t estimate = 0;       // the stored size estimate
  std::vector<int32_t> children;  // one per record when level > 0
};

// Reads an image from its whole slot (`image.size()` is the slot size): the
// records go to `sink` in order. A stored size that does not round up to the
// slot size is report 1477; records that do not fill the unpacked size
// exactly, 1602.
ParsedImage ParseImage(std::span<const uint8_t> image, RecordSink& sink);

// Fields of a built image used by the commit and the log.
uint32_t ImageHomeOffset(const uint8_t* image);
void SetImageHomeOffset(uint8_t* image, uint32_t home_offset);
uint16_t ImageStoredSize(const uint8_t* image);
uint8_t ImageLevel(const uint8_t* image);
void SetImageChild(uint8_t* image, size_t index, int32_t page);

// Bytes the image of `stored_size` occupies: rounded up to a 256-multiple.
inline size_t ImageSlotSize(size_t stored_size) { return (stored_size + 255) & ~size_t{255}; }

}  // namespace vantrose
