// Page image throughput on catalogue-sized records: packing, compression,
// expansion, and whole image build and parse, one 9,301-byte record per page
// as a catalogue's data pages hold them.
//
//   page_image_bench [records]      (default 20000)
//
// Times are the process's processor time, so that figures taken on a busy
// machine stay comparable.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/byte_order.h"
#include "engine/storage/page_image.h"

namespace {

using vantrose::RecordView;

// Processor time of this process, in seconds.
double CpuNow() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

constexpr size_t kDataLength = 9301;
constexpr size_t kKeyLength = 9;  // table number, kind, record number

// A record like a converted catalogue entry: blank-padded text fields with a
// few words each, some binary numbers, long blank tails.
std::vector<uint8_t> CatalogueRecord(uint32_t number, std::mt19937& random) {
  std::vector<uint8_t> record(kKeyLength + kDataLength, ' ');
  vantrose::StoreBE32(record.data(), 1);
  record[4] = 1;
  vantrose::StoreBE32(record.data() + 5, number);
  size_t at = kKeyLength;
  static const char* words[] = {"Blue", "Note", "Live", "at", "the", "Village", "Vanguard",
                                "Remastered", "Mono", "Side", "A", "Gatefold", "Sleeve"};
  while (at < record.size()) {
    size_t field = 20 + random() % 400;
    size_t filled = 0;
    while (filled + 12 < field / 3) {
      const char* word = words[random() % 13];
      size_t length = std::strlen(word);
      if (at + filled + length + 1 >= record.size()) break;
      std::memcpy(record.data() + at + filled, word, length);
      filled += length + 1;
    }
    if (at + field + 8 < record.size()) {
      for (int i = 0; i < 8; ++i) record[at + field + i] = static_cast<uint8_t>(random());
      field += 8;
    }
    at += field;
  }
  return record;
}

class Sink : public vantrose::RecordSink {
 public:
  uint8_t* AddRecord(uint16_t length, uint16_t) override {
    buffer.resize(length);
    return buffer.data();
  }
  std::vector<uint8_t> buffer;
};

double Seconds(double start) { return CpuNow() - start; }

void Report(const char* what, double seconds, size_t records, size_t bytes) {
  std::printf("%-28s %8.1f ms  %7.0f ns/record  %8.0f MB/s\n", what, seconds * 1e3,
              seconds * 1e9 / records, bytes / seconds / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000;
  std::mt19937 random(1);
  std::vector<std::vector<uint8_t>> records;
  for (size_t i = 0; i < 64; ++i) records.push_back(CatalogueRecord(static_cast<uint32_t>(i + 1), random));
  const size_t record_bytes = records[0].size();
  const size_t total = count * record_bytes;

  std::vector<uint8_t> packed(vantrose::kMaxImageSize * 2);
  std::vector<uint8_t> compressed(packed.size());
  std::vector<uint8_t> expanded(packed.size());
  size_t checksum = 0;

  double start = CpuNow();
  size_t packed_length = 0;
  for (size_t i = 0; i < count; ++i) {
    const auto& r = records[i % records.size()];
    RecordView view{r.data(), static_cast<uint16_t>(r.size()), kKeyLength};
    packed_length = vantrose::PackRecords({&view, 1}, packed.data(), packed.size());
    checksum += packed[packed_length - 1];
  }
  Report("PackRecords", Seconds(start), count, total);

  // Compression of each record's packed area.
  std::vector<std::vector<uint8_t>> areas;
  for (const auto& r : records) {
    RecordView view{r.data(), static_cast<uint16_t>(r.size()), kKeyLength};
    size_t length = vantrose::PackRecords({&view, 1}, packed.data(), packed.size());
    areas.emplace_back(packed.begin(), packed.begin() + length);
  }
  start = CpuNow();
  size_t compressed_bytes = 0;
  for (size_t i = 0; i < count; ++i) {
    const auto& area = areas[i % areas.size()];
    compressed_bytes += vantrose::Compress(area.data(), area.size(), compressed.data());
  }
  Report("Compress", Seconds(start), count, total);
  std::printf("  compressed to %.1f%% of the packed size\n",
              100.0 * compressed_bytes / (double(count) * areas[0].size()));

  std::vector<std::vector<uint8_t>> encoded;
  for (const auto& area : areas) {
    size_t length = vantrose::Compress(area.data(), area.size(), compressed.data());
    encoded.emplace_back(compressed.begin(), compressed.begin() + length);
  }
  start = CpuNow();
  for (size_t i = 0; i < count; ++i) {
    size_t k = i % areas.size();
    vantrose::Expand(encoded[k], expanded.data(), areas[k].size());
    checksum += expanded[100];
  }
  Report("Expand", Seconds(start), count, total);

  std::vector<std::vector<uint8_t>> images;
  start = CpuNow();
  for (size_t i = 0; i < count; ++i) {
    const auto& r = records[i % records.size()];
    RecordView view{r.data(), static_cast<uint16_t>(r.size()), kKeyLength};
    std::vector<uint8_t> image = vantrose::BuildImage({&view, 1}, 0, 15104);
    checksum += image.size();
    if (images.size() < records.size()) images.push_back(std::move(image));
  }
  Report("BuildImage", Seconds(start), count, total);

  Sink sink;
  start = CpuNow();
  for (size_t i = 0; i < count; ++i) {
    vantrose::ParseImage(images[i % images.size()], sink);
    checksum += sink.buffer[50];
  }
  Report("ParseImage", Seconds(start), count, total);
  std::printf("  image of one record: %zu bytes (%zu-byte record)\n", images[0].size(), record_bytes);
  std::printf("(checksum %zu)\n", checksum);
  return 0;
}
