// The 512-byte header at offset 0 of every table file. Integers are
// little-endian except the sequence counter (big-endian):
//
//   offset width  field
//        0     4  home offset: always 0 (every loggable block starts with it)
//        4     2  header size: 512
//        6     4  log start  \ equal when no commit is pending; otherwise the
//       10     4  log end    / extent of the commit log behind the data
//       14     4  signature "vAnT"
//       18     2  reserved, 0
//       20     4  sequence counter, big-endian: last number handed out
//       24     4  change count, signed; 0 while the file has no page tree
//       28     4  root page number
//       32   240  zone start[0..59]
//      272   240  zone end[0..59]
//
// After the header come 256-byte blocks numbered from 0; page p lies at
// 512 + 256 * p. Zone i (1..59) holds pages of i blocks back to back in the
// page numbers [start[i], end[i]); zones lie in increasing order, zone 0 is
// never used. Negative page numbers are pages without a place yet.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantrose {

inline constexpr size_t kHeaderSize = 512;
inline constexpr int kZoneCount = 60;  // zones 0..59; zone 0 holds nothing
inline constexpr int kMaxZone = 59;
inline constexpr size_t kBlockSize = 256;
inline constexpr std::array<uint8_t, 4> kHeaderSignature = {'v', 'A', 'n', 'T'};

struct FileHeader {
  uint32_t home_offset = 0;
  uint16_t header_size = kHeaderSize;
  uint32_t log_start = 0;
  uint32_t log_end = 0;
  std::array<uint8_t, 4> signature = {};
  uint16_t reserved = 0;
  std::array<uint8_t, 4> sequence = {};  // big-endian, as stored
  int32_t change_count = 0;
  int32_t root_page = 0;
  std::array<int32_t, kZoneCount> zone_start = {};
  std::array<int32_t, kZoneCount> zone_end = {};

  // The copy counts as loaded once its signature field is nonzero.
  bool loaded() const { return signature != std::array<uint8_t, 4>{}; }
  bool has_signature() const { return signature == kHeaderSignature; }
};

void EncodeHeader(const FileHeader& header, uint8_t* out /* kHeaderSize bytes */);
FileHeader DecodeHeader(const uint8_t* in /* kHeaderSize bytes */);

// True when the zone table could have been written by this engine: zone 0
// and the start of zone 1 are 0, each zone is a whole number of its pages,
// and zones do not overlap and keep their order.
bool ZoneTableValid(const FileHeader& header);

// 512 + 256 * end of the highest nonempty zone; 512 when every zone is empty.
int64_t DataEnd(const FileHeader& header);

inline int64_t PageOffset(int32_t page) { return int64_t{512} + int64_t{256} * page; }

}  // namespace vantrose
