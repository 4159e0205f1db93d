#include "engine/storage/file_header.h"

#include <algorithm>

#include "engine/storage/byte_order.h"

namespace vantrose {
namespace {

constexpr size_t kZoneStartOffset = 32;
constexpr size_t kZoneEndOffset = 272;

}  // namespace

void EncodeHeader(const FileHeader& header, uint8_t* out) {
  StoreLE32(out + 0, header.home_offset);
  StoreLE16(out + 4, header.header_size);
  StoreLE32(out + 6, header.log_start);
  StoreLE32(out + 10, header.log_end);
  std::copy(header.signature.begin(), header.signature.end(), out + 14);
  StoreLE16(out + 18, header.reserved);
  std::copy(header.sequence.begin(), header.sequence.end(), out + 20);
  StoreLE32(out + 24, static_cast<uint32_t>(header.change_count));
  StoreLE32(out + 28, static_cast<uint32_t>(header.root_page));
  for (int i = 0; i < kZoneCount; ++i) {
    StoreLE32(out + kZoneStartOffset + 4 * i, static_cast<uint32_t>(header.zone_start[i]));
    StoreLE32(out + kZoneEndOffset + 4 * i, static_cast<uint32_t>(header.zone_end[i]));
  }
}

FileHeader DecodeHeader(const uint8_t* in) {
  FileHeader header;
  header.home_offset = LoadLE32(in + 0);
  header.header_size = LoadLE16(in + 4);
  header.log_start = LoadLE32(in + 6);
  header.log_end = LoadLE32(in + 10);
  std::copy(in + 14, in + 18, header.signature.begin());
  header.reserved = LoadLE16(in + 18);
  std::copy(in + 20, in + 24, header.sequence.begin());
  header.change_count = static_cast<int32_t>(LoadLE32(in + 24));
  header.root_page = static_cast<int32_t>(LoadLE32(in + 28));
  for (int i = 0; i < kZoneCount; ++i) {
    header.zone_start[i] = static_cast<int32_t>(LoadLE32(in + kZoneStartOffset + 4 * i));
    header.zone_end[i] = static_cast<int32_t>(LoadLE32(in + kZoneEndOffset + 4 * i));
  }
  return header;
}

bool ZoneTableValid(const FileHeader& header) {
  if (header.zone_start[0] != 0 || header.zone_end[0] != 0 || header.zone_start[1] != 0) {
    return false;
  }
  for (int i = 1; i <= kMaxZone; ++i) {
    int32_t start = header.zone_start[i];
    int32_t end = header.zone_end[i];
    if (start < header.zone_end[i - 1] || end < start || (end - start) % i != 0) return false;
  }
  return true;
}

int64_t DataEnd(const FileHeader& header) {
  for (int i = kMaxZone; i >= 1; --i) {
    if (header.zone_start[i] != header.zone_end[i]) return PageOffset(header.zone_end[i]);
  }
  return PageOffset(header.zone_end[0]);
}

}  // namespace vantrose
