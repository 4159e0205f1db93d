// Random and mutated page images through ParseImage and Expand: whatever the
// bytes, the result is records or a corruption report, never a read or write
// outside the buffers (the sanitizer build checks that). VANTROSE_SOAK=1
// runs many more rounds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "engine/storage/byte_order.h"
#include "engine/storage/page_image.h"
#include "tests/storage/os_file_test_support.h"

namespace vantrose {
namespace {

using testing::CorruptionCode;
using Bytes = std::vector<uint8_t>;

int Rounds(int normal) { return std::getenv("VANTROSE_SOAK") != nullptr ? normal * 100 : normal; }

// Owns each record separately, so that the sanitizer sees any overrun of a
// record's room.
class OwningSink : public RecordSink {
 public:
  uint8_t* AddRecord(uint16_t length, uint16_t key_length) override {
    EXPECT_LE(key_length, length);
    records.emplace_back(length);
    return records.back().data();
  }
  std::vector<Bytes> records;
};

bool IsImageReport(uint32_t code) {
  return code == 0 || code == 522 || code == 530 || code == 1477 || code == 1602;
}

// Valid images of a few shapes to mutate.
std::vector<Bytes> SeedImages(std::mt19937& random) {
  std::vector<Bytes> seeds;
  for (int shape = 0; shape < 6; ++shape) {
    std::vector<Bytes> owned;
    size_t count = 1 + random() % 40;
    size_t length = shape < 3 ? 20 + random() % 300 : 1 + random() % 30;
    for (size_t i = 0; i < count; ++i) {
      Bytes r(length, ' ');
      StoreBE32(r.data(), static_cast<uint32_t>(i));
      for (size_t k = 4; k < r.size(); k += 1 + random() % 9) r[k] = static_cast<uint8_t>(random());
      owned.push_back(r);
    }
    std::vector<RecordView> views;
    for (const Bytes& r : owned) views.push_back({r.data(), static_cast<uint16_t>(r.size()), 4});
    uint8_t level = shape % 2 == 0 ? 0 : 1;
    seeds.push_back(BuildImage(views, level, 15104));
  }
  return seeds;
}

TEST(FuzzPageImage, MutatedImagesParseOrReport) {
  std::mt19937 random(20261211);
  std::vector<Bytes> seeds = SeedImages(random);
  for (int round = 0; round < Rounds(3000); ++round) {
    Bytes image = seeds[random() % seeds.size()];
    int mutations = 1 + random() % 4;
    for (int m = 0; m < mutations; ++m) {
      switch (random() % 3) {
        case 0:  // a random byte anywhere
          image[random() % image.size()] = static_cast<uint8_t>(random());
          break;
        case 1:  // a header field: sizes, count or level
          image[4 + random() % 9] = static_cast<uint8_t>(random());
          break;
        default:  // a bit flip in the first part of the record area
          image[13 + random() % std::min<size_t>(image.size() - 13, 200)] ^=
              static_cast<uint8_t>(1u << (random() % 8));
          break;
      }
    }
    OwningSink sink;
    uint32_t code = CorruptionCode([&] { ParseImage(image, sink); });
    ASSERT_TRUE(IsImageReport(code)) << "round " << round << " code " << code;
  }
}

TEST(FuzzPageImage, RandomImagesParseOrReport) {
  std::mt19937 random(42);
  for (int round = 0; round < Rounds(3000); ++round) {
    Bytes image(256 * (1 + random() % 4));
    for (uint8_t& b : image) b = static_cast<uint8_t>(random());
    // Mostly plausible sizes, so that the checks past the slot test run too.
    uint16_t stored = static_cast<uint16_t>(image.size() - random() % 256);
    StoreLE16(&image[4], stored);
    if (random() % 2) StoreLE16(&image[6], static_cast<uint16_t>(stored + random() % 3000));
    if (random() % 2) StoreLE16(&image[10], static_cast<uint16_t>(random() % 64));
    if (random() % 2) image[12] = 0;
    OwningSink sink;
    uint32_t code = CorruptionCode([&] { ParseImage(image, sink); });
    ASSERT_TRUE(IsImageReport(code)) << "round " << round << " code " << code;
  }
}

TEST(FuzzPageImage, RandomCompressedAreasExpandOrReport) {
  std::mt19937 random(99);
  for (int round = 0; round < Rounds(5000); ++round) {
    Bytes source(random() % 64);
    for (uint8_t& b : source) b = static_cast<uint8_t>(random() % 4 == 0 ? random() : random() % 12);
    size_t length = random() % 200;
    Bytes out(length);
    uint32_t code = CorruptionCode([&] { Expand(source, out.data(), length); });
    ASSERT_TRUE(code == 0 || code == 522 || code == 530) << "round " << round << " code " << code;
  }
}

}  // namespace
}  // namespace vantrose
