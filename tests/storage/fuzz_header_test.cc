// Damaged headers through the open: random field values, with and without a
// pending log, open as a file or fail with 36 or a corruption report, never
// a crash, hang or allocation sized by garbage. VANTROSE_SOAK=1 runs more.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "engine/storage/file_header.h"
#include "engine/storage/file_store.h"
#include "tests/storage/os_file_test_support.h"

namespace vantrose {
namespace {

using testing::CorruptionCode;
using testing::ScratchDir;
using testing::WriteBytes;
using Bytes = std::vector<uint8_t>;

TEST(FuzzHeader, DamagedHeadersOpenOrFail) {
  const int rounds = std::getenv("VANTROSE_SOAK") != nullptr ? 20000 : 300;
  ScratchDir dir;
  const std::string path = dir.File("fuzz.vnt");
  std::mt19937 random(1211);
  for (int round = 0; round < rounds; ++round) {
    FileHeader header;
    header.signature = kHeaderSignature;
    header.change_count = static_cast<int32_t>(random() % 8);
    header.root_page = static_cast<int32_t>(random() % 6) - 1;
    int32_t end = 0;
    for (int zone = 1; zone <= kMaxZone; ++zone) {
      if (zone > 1) end += static_cast<int32_t>(random() % 3 == 0 ? random() % 4 : 0);
      header.zone_start[zone] = end;
      if (random() % 6 == 0) end += zone * static_cast<int32_t>(1 + random() % 3);
      header.zone_end[zone] = end;
    }
    uint32_t data_end = static_cast<uint32_t>(DataEnd(header));
    header.log_start = header.log_end = data_end;
    if (random() % 2) header.log_end = data_end + 256 * (random() % 8);
    Bytes bytes(kHeaderSize);
    EncodeHeader(header, bytes.data());
    // A few random bytes anywhere, then some file behind the header.
    for (int m = random() % 3; m > 0; --m) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
    size_t tail = 256 * (random() % 12);
    for (size_t i = 0; i < tail; ++i) bytes.push_back(static_cast<uint8_t>(random() % 3 == 0 ? random() : 0));
    WriteBytes(path, bytes);

    FileStore store;
    int32_t result = -1;
    uint32_t code = CorruptionCode([&] { result = StoreOpen(store, path, OPEN_READ_WRITE | OPEN_DENY_NONE, ""); });
    ASSERT_TRUE(code != 0 || result == 0 || result == 36) << "round " << round << " result " << result;
  }
}

}  // namespace
}  // namespace vantrose
