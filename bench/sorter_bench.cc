// Measures the external sorter on the items of a key build: key values of a
// typical catalogue key (three text components, 260 bytes) followed by a
// record number, many of them sharing long prefixes as titles and artists
// do. Prints the time to add and to merge (wall clock, and the process's CPU
// time, which a busy machine does not inflate), the runs, and the peak
// resident memory of the process.
//
//   sorter_bench [ITEMS...]        (default: 10000 100000 1000000)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/table/external_sorter.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kValueSize = 260;
constexpr size_t kItemSize = kValueSize + 4;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

long PeakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A text field: one of a few hundred words, then a number, blank-padded.
void FillText(uint8_t* out, size_t size, std::mt19937& random) {
  static const char* const kWords[] = {"THE ", "BLUE ", "TRAIN ", "LIVE ", "AT ", "NIGHT ",
                                       "GREATEST ", "HITS ", "VOLUME ", "SESSIONS "};
  std::string text;
  const int words = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < words; ++i) text += kWords[random() % 10];
  text += std::to_string(random() % 300);
  std::memset(out, ' ', size);
  std::memcpy(out, text.data(), std::min(size, text.size()));
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Key values drawn from a pool made beforehand, so that the timings are the
// sorter's own; each value recurs, as values of a catalogue's keys do.
std::vector<uint8_t> MakePool(size_t values) {
  std::mt19937 random(1);
  std::vector<uint8_t> pool(values * kValueSize);
  for (size_t i = 0; i < values; ++i) {
    uint8_t* value = pool.data() + i * kValueSize;
    FillText(value, 100, random);
    FillText(value + 100, 80, random);
    FillText(value + 180, 80, random);
  }
  return pool;
}

void Run(size_t count, const std::vector<uint8_t>& pool) {
  const size_t values = pool.size() / kValueSize;
  std::vector<uint8_t> item(kItemSize);
  const auto start = Clock::now();
  const double cpu_start = CpuSeconds();
  vantrose::ExternalSorter sorter(kItemSize);
  for (size_t i = 0; i < count; ++i) {
    const size_t pick = (i * 2654435761u) % values;
    std::memcpy(item.data(), pool.data() + pick * kValueSize, kValueSize);
    const uint32_t record = static_cast<uint32_t>(i + 1);
    for (int b = 0; b < 4; ++b) item[kValueSize + b] = static_cast<uint8_t>(record >> (24 - 8 * b));
    if (const int32_t error = sorter.Add(item.data())) {
      std::fprintf(stderr, "add failed: %d\n", error);
      std::exit(1);
    }
  }
  const double adding = Seconds(start);
  const auto merge_start = Clock::now();
  if (const int32_t error = sorter.PrepareMerge()) {
    std::fprintf(stderr, "merge failed: %d\n", error);
    std::exit(1);
  }
  size_t taken = 0;
  for (;;) {
    const uint8_t* next;
    if (sorter.Next(&next) != 0) std::exit(1);
    if (next == nullptr) break;
    ++taken;
  }
  const double merging = Seconds(merge_start);
  const double cpu = CpuSeconds() - cpu_start;
  if (taken != count) {
    std::fprintf(stderr, "lost items: %zu of %zu\n", taken, count);
    std::exit(1);
  }
  std::printf("%9zu items %7.1f MB | add+spill %6.3f s  merge %6.3f s  wall %6.3f s  cpu %6.3f s"
              " | %5.2f M items/cpu-s | runs %4u  temp file %-3s | peak RSS %ld KiB\n",
              count, count * kItemSize / 1e6, adding, merging, adding + merging, cpu,
              count / cpu / 1e6, sorter.runs_written(), sorter.used_temp_file() ? "yes" : "no",
              PeakResidentKiB());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<size_t> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::strtoull(argv[i], nullptr, 10));
  if (counts.empty()) counts = {10000, 100000, 1000000};
  const std::vector<uint8_t> pool = MakePool(4096);
  std::printf("item size %zu bytes (260-byte key value + record number)\n", kItemSize);
  for (const size_t count : counts) Run(count, pool);
  return 0;
}
