#include "engine/storage/page_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/byte_order.h"
#include "tests/storage/os_file_test_support.h"

namespace vantrose {
namespace {

using testing::CorruptionCode;
using Bytes = std::vector<uint8_t>;

struct Record {
  Bytes bytes;
  uint16_t key_length;
};

std::vector<RecordView> Views(const std::vector<Record>& records) {
  std::vector<RecordView> views;
  for (const Record& r : records) {
    views.push_back({r.bytes.data(), static_cast<uint16_t>(r.bytes.size()), r.key_length});
  }
  return views;
}

// Collects unpacked records as owned byte strings.
class CollectingSink : public RecordSink {
 public:
  uint8_t* AddRecord(uint16_t length, uint16_t key_length) override {
    records.push_back({Bytes(length), key_length});
    return records.back().bytes.data();
  }
  std::vector<Record> records;
};

void ExpectSameRecords(const std::vector<Record>& expected, const std::vector<Record>& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].bytes, actual[i].bytes) << "record " << i;
    EXPECT_EQ(expected[i].key_length, actual[i].key_length) << "record " << i;
  }
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// --- Compression -----------------------------------------------------------

struct CompressionCase {
  const char* name;
  Bytes input;
  Bytes compressed;  // empty: stored uncompressed
};

TEST(PageImageCompression, EncodesTheDocumentedExamples) {
  const CompressionCase cases[] = {
      {"ten equal bytes", Bytes(10, 'z'), {1, 'z', 9, 0}},
      {"three equal bytes stay literal", Bytes(3, 'z'), {}},
      {"run at the end", Text("abcdxxxxx"), {5, 'a', 'b', 'c', 'd', 'x', 4, 0}},
      {"run in the middle", Text("ab_____cd"), {3, 'a', 'b', '_', 4, 2, 'c', 'd'}},
      {"no run of four", Text("aabbbccc"), {}},
      {"long run needs a two-byte count",
       [] { Bytes b(300, 7); b.push_back(1); return b; }(),
       {1, 7, 0xAB, 0x02, 1, 1}},
  };
  for (const CompressionCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes out(c.input.size());
    size_t length = Compress(c.input.data(), c.input.size(), out.data());
    if (c.compressed.empty()) {
      EXPECT_EQ(length, c.input.size());
      continue;
    }
    out.resize(length);
    EXPECT_EQ(out, c.compressed);
    Bytes back(c.input.size());
    Expand(c.compressed, back.data(), back.size());
    EXPECT_EQ(back, c.input);
  }
}

TEST(PageImageCompression, RoundTripsMixedRunsAndLiterals) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    Bytes input;
    size_t target = 1 + random() % 20000;
    while (input.size() < target) {
      size_t length = 1 + random() % (random() % 4 == 0 ? 400 : 6);
      uint8_t value = static_cast<uint8_t>(random() % 3 == 0 ? ' ' : random());
      if (random() % 2) {
        input.insert(input.end(), length, value);
      } else {
        for (size_t i = 0; i < length; ++i) input.push_back(static_cast<uint8_t>(random()));
      }
    }
    Bytes out(input.size());
    size_t length = Compress(input.data(), input.size(), out.data());
    ASSERT_LE(length, input.size());
    if (length == input.size()) continue;
    out.resize(length);
    Bytes back(input.size());
    Expand(out, back.data(), back.size());
    ASSERT_EQ(back, input) << "round " << round;
  }
}

TEST(PageImageCompression, DamagedInputIsReportedWithoutWritingPastTheOutput) {
  struct Case {
    const char* name;
    Bytes source;
    size_t length;
    uint32_t code;
  };
  const Case cases[] = {
      {"literal count beyond the output", {5, 'a', 'b', 'c', 'd', 'e'}, 4, 522},
      {"literal bytes missing from the source", {4, 'a', 'b'}, 4, 522},
      {"repeat beyond the output", {1, 'a', 9}, 5, 530},
      {"repeat with nothing before it", {0, 3}, 3, 530},
      {"source ends before the output is complete", {1, 'a', 2}, 8, 522},
      {"count that never ends", {0x80, 0x80, 0x80, 0x80, 0x80, 0x80}, 8, 522},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes out(c.length + 16, 0xEE);
    EXPECT_EQ(CorruptionCode([&] { Expand(c.source, out.data(), c.length); }), c.code);
    for (size_t i = c.length; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << "byte " << i;
  }
}

// --- Packing ---------------------------------------------------------------

TEST(PageImagePacking, EmptyRecordPacksToFlagsAndTwoZeroLengths) {
  std::vector<Record> records = {{{}, 0}};
  Bytes out(16);
  ASSERT_EQ(PackRecords(Views(records), out.data(), out.size()), 5u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), (Bytes{0xC0, 0, 0, 0, 0}));
}

TEST(PageImagePacking, SharesAtMostSixtyThreeBytesAndOmitsEqualLengths) {
  Bytes first(100, 'k');
  Bytes second = first;
  second[99] = 'x';
  std::vector<Record> records = {{first, 10}, {second, 10}};
  Bytes out(400);
  size_t length = PackRecords(Views(records), out.data(), out.size());
  // First: flags C0, lengths 100 and 10, 100 bytes. Second: flags 0x3F, 37 bytes.
  ASSERT_EQ(length, 5u + 100 + 1 + 37);
  EXPECT_EQ(out[0], 0xC0);
  EXPECT_EQ(LoadLE16(&out[1]), 100);
  EXPECT_EQ(LoadLE16(&out[3]), 10);
  EXPECT_EQ(out[105], 0x3F);
  EXPECT_EQ(out[105 + 37], 'x');
}

TEST(PageImagePacking, WritesOnlyTheLengthsThatChange) {
  std::vector<Record> records = {
      {Text("apple:1"), 5}, {Text("apply:22"), 5}, {Text("apt:3333"), 3}, {Text("b"), 1}};
  Bytes out(100);
  size_t length = PackRecords(Views(records), out.data(), out.size());
  size_t pos = 0;
  EXPECT_EQ(out[pos], 0xC0);                     // first record: both lengths
  pos += 5 + 7;
  EXPECT_EQ(out[pos], 0x80 | 4);                 // "appl" shared, total 8, key 5 as before
  pos += 3 + 4;
  EXPECT_EQ(out[pos], 0x40 | 2);                 // "ap" shared, total 8 as before, key 3
  pos += 3 + 6;
  EXPECT_EQ(out[pos], 0xC0 | 0);                 // nothing shared
  EXPECT_EQ(pos + 5 + 1, length);

  CollectingSink sink;
  EXPECT_EQ(UnpackRecords(std::span<const uint8_t>(out.data(), length), records.size(), sink),
            length);
  ExpectSameRecords(records, sink.records);
}

TEST(PageImagePacking, PackingBeyondTheRoomIsReported) {
  std::vector<Record> records = {{Bytes(50, 1), 4}, {Bytes(60, 2), 4}};
  Bytes out(64);
  EXPECT_EQ(CorruptionCode([&] { PackRecords(Views(records), out.data(), out.size()); }), 1659u);
}

TEST(PageImagePacking, DamagedPackedRecordsAreReported) {
  struct Case {
    const char* name;
    Bytes area;
    size_t count;
  };
  const Case cases[] = {
      {"flags byte missing", {}, 1},
      {"lengths cut off", {0xC0, 3}, 1},
      {"tail longer than the area", {0xC0, 9, 0, 1, 0, 'a', 'b'}, 1},
      {"key longer than the record", {0xC0, 1, 0, 2, 0, 'a'}, 1},
      {"record longer than any stored record", {0xC0, 0xA0, 0x3B, 0, 0}, 1},
      {"shares more than the previous record holds", {0xC0, 1, 0, 0, 0, 'a', 0x02, 'b'}, 2},
      {"first record shares bytes", {0xC1, 1, 0, 0, 0}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CollectingSink sink;
    EXPECT_EQ(CorruptionCode([&] { UnpackRecords(c.area, c.count, sink); }), 1602u);
  }
}

// --- Images ------------------------------------------------------------------

std::vector<Record> DataPage(size_t count, size_t length) {
  std::vector<Record> records;
  for (size_t i = 0; i < count; ++i) {
    Bytes r(length, ' ');
    StoreBE32(r.data(), 1);
    r[4] = 1;
    StoreBE32(r.data() + 5, static_cast<uint32_t>(i + 1));
    std::memcpy(r.data() + 9, "Title of the record", 19);
    records.push_back({r, 9});
  }
  return records;
}

TEST(PageImageBuild, PageOfTheEmptyRecordFillsOneBlock) {
  std::vector<Record> records = {{{}, 0}};
  Bytes image = BuildImage(Views(records), 0, 13 + 5);
  ASSERT_EQ(image.size(), 256u);
  EXPECT_EQ(ImageStoredSize(image.data()), 18);
  EXPECT_EQ(LoadLE16(&image[6]), 18);
  EXPECT_EQ(LoadLE16(&image[8]), 18);
  EXPECT_EQ(LoadLE16(&image[10]), 1);
  EXPECT_EQ(image[12], 0);
  EXPECT_EQ(Bytes(image.begin() + 13, image.begin() + 18), (Bytes{0xC0, 0, 0, 0, 0}));
  EXPECT_EQ(std::count(image.begin() + 18, image.end(), kImageFill), 238);
}

TEST(PageImageBuild, CompressesOnlyWhenAWholeBlockIsSaved) {
  struct Case {
    const char* name;
    std::vector<Record> records;
    bool compressed;
  };
  Bytes noise(600);
  std::mt19937 random(3);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  Bytes almost = noise;
  std::fill(almost.begin() + 100, almost.begin() + 110, 'x');  // saves 8 bytes only
  const Case cases[] = {
      {"blank-padded records", DataPage(3, 400), true},
      {"no run of four", {{noise, 8}}, false},
      {"saving less than a block", {{almost, 8}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes image = BuildImage(Views(c.records), 0, 20000);
    size_t stored = ImageStoredSize(image.data());
    size_t unpacked = LoadLE16(&image[6]);
    EXPECT_EQ(stored < unpacked, c.compressed);
    EXPECT_EQ(image.size(), ImageSlotSize(stored));
    CollectingSink sink;
    ParseImage(image, sink);
    ExpectSameRecords(c.records, sink.records);
  }
}

TEST(PageImageBuild, OversizedPagesAreReported) {
  Bytes noise(15093);
  std::mt19937 random(5);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  std::vector<Record> big = {{noise, 4}};
  EXPECT_EQ(CorruptionCode([&] { BuildImage(Views(big), 0, 15000); }), 1659u);
  EXPECT_EQ(CorruptionCode([&] { BuildImage(Views(big), 0, 16000); }), 1678u);
  // Header and child numbers alone beyond the estimate.
  std::vector<Record> three = {{{}, 0}, {Text("a"), 1}, {Text("b"), 1}};
  EXPECT_EQ(CorruptionCode([&] { BuildImage(Views(three), 1, 20); }), 1659u);
}

TEST(PageImageParse, RoundTripsAnIndexPageWithItsChildNumbers) {
  std::vector<Record> records = {{{}, 0}, {Text("key-m"), 5}, {Text("key-t"), 5}};
  Bytes image = BuildImage(Views(records), 2, 400);
  const int32_t children[] = {17, -1, 123456};
  for (size_t i = 0; i < 3; ++i) SetImageChild(image.data(), i, children[i]);
  SetImageHomeOffset(image.data(), 512 + 256 * 9);

  CollectingSink sink;
  ParsedImage parsed = ParseImage(image, sink);
  EXPECT_EQ(parsed.level, 2);
  EXPECT_EQ(parsed.estimate, 400);
  EXPECT_EQ(parsed.children, (std::vector<int32_t>{17, -1, 123456}));
  EXPECT_EQ(ImageHomeOffset(image.data()), 512u + 256 * 9);
  ExpectSameRecords(records, sink.records);
}

TEST(PageImageParse, StoredSizeMustFitTheSlot) {
  Bytes payload(287 - 13 - 5, 'q');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
  std::vector<Record> records = {{payload, 2}};
  Bytes image = BuildImage(Views(records), 0, 1000);
  ASSERT_EQ(ImageStoredSize(image.data()), 287);  // a zone-2 page
  ASSERT_EQ(image.size(), 512u);
  for (size_t slot : {256u, 768u}) {
    Bytes moved = image;
    moved.resize(slot, kImageFill);
    CollectingSink sink;
    EXPECT_EQ(CorruptionCode([&] { ParseImage(moved, sink); }), 1477u) << slot;
  }
}

TEST(PageImageParse, InconsistentSizesAndCountsAreReported) {
  const Bytes compressed = BuildImage(Views(DataPage(4, 300)), 0, 5000);
  const Bytes plain = BuildImage(Views({{Text("abc"), 1}, {Text("abd"), 1}}), 0, 100);
  ASSERT_LT(ImageStoredSize(compressed.data()), LoadLE16(&compressed[6]));
  ASSERT_EQ(ImageStoredSize(plain.data()), LoadLE16(&plain[6]));
  struct Case {
    const char* name;
    const Bytes* image;
    size_t offset;     // 16-bit field to change
    uint16_t value;
    uint8_t level;
  };
  const uint16_t unpacked = LoadLE16(&compressed[6]);
  const Case cases[] = {
      {"expanded area one short", &compressed, 6, static_cast<uint16_t>(unpacked - 1), 0},
      {"expanded area one long", &compressed, 6, static_cast<uint16_t>(unpacked + 1), 0},
      {"one record too many", &compressed, 10, 5, 0},
      {"one record too few", &compressed, 10, 3, 0},
      {"stored size above the unpacked size", &plain, 6, 20, 0},
      {"plain area one record too few", &plain, 10, 1, 0},
      {"child numbers reach past the stored size", &plain, 10, 200, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes damaged = *c.image;
    StoreLE16(&damaged[c.offset], c.value);
    damaged[12] = c.level;
    CollectingSink sink;
    uint32_t code = CorruptionCode([&] { ParseImage(damaged, sink); });
    EXPECT_TRUE(code == 522 || code == 530 || code == 1602) << code;
  }
}

}  // namespace
}  // namespace vantrose
