#include "engine/table/external_sorter.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// From the address sanitizer's run-time library.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

#include "platform/os_error.h"

namespace vantrose {
namespace {

using Item = std::string;

// Temporary files that pass through to the system's, count what they do,
// and fail when told to.
class FaultyTempFiles : public TempFileFactory {
 public:
  int creates = 0;
  int writes = 0;
  int32_t create_error = 0;  // every Create fails with this
  int fail_write_at = 0;     // the write with this number (from 1) fails...
  int32_t write_error = 0;   // ...with this
  int32_t read_error = 0;    // every read fails with this

  int32_t Create(std::unique_ptr<TempFile>* file) override {
    ++creates;
    if (create_error != 0) return create_error;
    std::unique_ptr<TempFile> real;
    if (const int32_t error = SystemTempFiles().Create(&real)) return error;
    *file = std::make_unique<File>(std::move(real), *this);
    return 0;
  }

 private:
  class File : public TempFile {
   public:
    File(std::unique_ptr<TempFile> real, FaultyTempFiles& owner) : real_(std::move(real)), owner_(owner) {}
    int32_t WriteAt(uint64_t offset, const void* data, size_t size) override {
      if (++owner_.writes == owner_.fail_write_at) {
        SetLastOsErrorNumber(owner_.write_error);
        return owner_.write_error;
      }
      return real_->WriteAt(offset, data, size);
    }
    int32_t ReadAt(uint64_t offset, void* data, size_t size) override {
      if (owner_.read_error != 0) return owner_.read_error;
      return real_->ReadAt(offset, data, size);
    }

   private:
    std::unique_ptr<TempFile> real_;
    FaultyTempFiles& owner_;
  };
};

// Descriptors of this process that are open on "TMP" files of $TMPDIR.
int OpenTempFiles() {
  const char* base = getenv("TMPDIR");
  const std::string prefix = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/TMP";
  int count = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d)) {
      char target[4096];
      const std::string link = std::string("/proc/self/fd/") + e->d_name;
      const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
      if (n > 0 && std::string(target, static_cast<size_t>(n)).rfind(prefix, 0) == 0) ++count;
    }
    closedir(d);
  }
  return count;
}

// Items of `size` bytes from a small alphabet, so that equal values (and
// equal whole items) are common, each ending in a distinct-ish 4-byte tail
// like the record number of a sort item.
std::vector<Item> MakeItems(size_t count, size_t size, uint32_t seed, bool identical_tails = false) {
  std::mt19937 random(seed);
  std::vector<Item> items(count, Item(size, '\0'));
  for (size_t i = 0; i < count; ++i) {
    for (size_t b = 0; b + 4 < size; ++b) items[i][b] = "\x00\x01\x7F\x80\xFF"[random() % 5];
    const uint32_t tail = identical_tails ? 7 : static_cast<uint32_t>(random() % 1000);
    for (size_t b = 0; b < 4 && b < size; ++b) items[i][size - 1 - b] = static_cast<char>(tail >> (8 * b));
  }
  return items;
}

struct SortResult {
  int32_t add_error = 0;
  int32_t prepare_error = 0;
  int32_t next_error = 0;
  std::vector<Item> items;
  uint32_t runs = 0;
  uint32_t merge_passes = 0;
  bool used_temp_file = false;
};

SortResult Sort(const std::vector<Item>& input, size_t item_size, TempFileFactory& files,
                ExternalSorter::Limits limits) {
  SortResult result;
  ExternalSorter sorter(item_size, files, limits);
  for (const Item& item : input) {
    result.add_error = sorter.Add(reinterpret_cast<const uint8_t*>(item.data()));
    if (result.add_error != 0) break;
  }
  result.prepare_error = sorter.PrepareMerge();
  for (;;) {
    const uint8_t* item;
    result.next_error = sorter.Next(&item);
    if (item == nullptr) break;
    result.items.emplace_back(reinterpret_cast<const char*>(item), item_size);
  }
  result.runs = sorter.runs_written();
  result.merge_passes = sorter.merge_passes();
  result.used_temp_file = sorter.used_temp_file();
  return result;
}

std::vector<Item> Sorted(std::vector<Item> items) {
  // std::string compares as unsigned bytes (char_traits<char>::compare is memcmp).
  std::sort(items.begin(), items.end());
  return items;
}

TEST(RunFileTest, ReadsBackEveryByteAcrossTheMemoryStage) {
  for (const size_t chunk : {size_t{1}, size_t{7}, size_t{500}, RunFile::kMemoryStage - 1,
                             RunFile::kMemoryStage}) {
    SCOPED_TRACE(chunk);
    FaultyTempFiles files;
    RunFile file(files);
    std::vector<uint8_t> expected;
    std::mt19937 random(static_cast<uint32_t>(chunk));
    while (expected.size() < 3 * RunFile::kMemoryStage) {
      std::vector<uint8_t> bytes(chunk);
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
      file.Append(bytes.data(), bytes.size());
      expected.insert(expected.end(), bytes.begin(), bytes.end());
      EXPECT_EQ(file.on_disk(), expected.size() > RunFile::kMemoryStage);
      // Any range, including bytes still in the write buffer.
      const size_t offset = random() % expected.size();
      const size_t size = random() % (expected.size() - offset + 1);
      std::vector<uint8_t> got(size);
      ASSERT_EQ(file.ReadAt(offset, got.data(), size), 0);
      ASSERT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + offset));
    }
    std::vector<uint8_t> all(expected.size());
    ASSERT_EQ(file.ReadAt(0, all.data(), all.size()), 0);
    EXPECT_EQ(all, expected);
    uint8_t byte;
    EXPECT_EQ(file.ReadAt(expected.size(), &byte, 1), kOsErrorReadPastEnd);
    EXPECT_EQ(files.creates, 1);
  }
  EXPECT_EQ(OpenTempFiles(), 0);
}

TEST(ExternalSorterTest, EverySplitIntoRunsGivesTheSameOrder) {
  const struct {
    const char* name;
    size_t count;
    size_t item_size;
    size_t batch_bytes;
    uint32_t runs;         // expected
    bool temp_file;        // expected
    size_t merge_readers = 1 << 20;  // readers one merge may hold
    uint32_t merge_passes = 0;       // expected merges before the last
  } cases[] = {
      {"empty", 0, 13, ExternalSorter::kBatchBytes, 0, false},
      {"one item", 1, 13, ExternalSorter::kBatchBytes, 0, false},
      {"one batch", 5000, 13, ExternalSorter::kBatchBytes, 0, false},
      {"runs that stay in memory", 1000, 13, 1300, 10, false},
      {"many runs on disk", 20000, 13, 1300, 200, true},
      {"batch exactly full", 200, 13, 13 * 50, 4, false},
      {"items shorter than the sort prefix", 5000, 5, 500, 50, true},
      {"items as long as a reader buffer", 300, 500, 5000, 30, true},
      {"items longer than a reader buffer", 300, 1234, 6000, 60, true},
      {"the real batch size", 100000, 24, ExternalSorter::kBatchBytes, 3, true},
      // 200 runs merged 3 at a time: 99 passes leave 2 runs for the last merge.
      {"runs merged in passes", 20000, 13, 1300, 200, true, 3, 99},
      {"runs merged in passes of two", 3000, 13, 1300, 30, true, 2, 28},
      {"one run over the width", 1000, 13, 1300, 10, true, 9, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Item> input = MakeItems(c.count, c.item_size, static_cast<uint32_t>(c.count));
    FaultyTempFiles files;
    ExternalSorter::Limits limits;
    limits.batch_bytes = c.batch_bytes;
    limits.merge_memory = c.merge_readers * (ExternalSorter::kReaderBuffer + c.item_size);
    const SortResult result = Sort(input, c.item_size, files, limits);
    EXPECT_EQ(result.add_error, 0);
    EXPECT_EQ(result.prepare_error, 0);
    EXPECT_EQ(result.next_error, 0);
    EXPECT_EQ(result.runs, c.runs);
    EXPECT_EQ(result.merge_passes, c.merge_passes);
    EXPECT_EQ(result.used_temp_file, c.temp_file);
    EXPECT_EQ(files.creates, c.temp_file ? 1 : 0);
    EXPECT_TRUE(result.items == Sorted(input));
  }
  EXPECT_EQ(OpenTempFiles(), 0);
}

TEST(ExternalSorterTest, IdenticalItemsAreAllKept) {
  std::vector<Item> input = MakeItems(3000, 9, 1, /*identical_tails=*/true);
  for (Item& item : input) item.replace(0, 5, "\x80\x80\x80\x80\x80", 5);  // all equal
  FaultyTempFiles files;
  const SortResult result = Sort(input, 9, files, {900, ExternalSorter::kMaxRuns, ExternalSorter::kMergeMemory});
  EXPECT_EQ(result.runs, 30u);
  EXPECT_EQ(result.items, input);
}

TEST(ExternalSorterTest, UnsignedBytesDecideTheOrder) {
  // 0x80 and 0xFF sort after 0x7F; a lower first byte wins over later ones.
  const std::vector<Item> input = {Item("\xFF\x00", 2), Item("\x7F\xFF", 2), Item("\x80\x00", 2),
                                   Item("\x00\xFF", 2), Item("\x00\x00", 2)};
  FaultyTempFiles files;
  for (const size_t batch : {size_t{2}, ExternalSorter::kBatchBytes}) {
    const SortResult result = Sort(input, 2, files, {batch, ExternalSorter::kMaxRuns});
    const std::vector<Item> expected = {Item("\x00\x00", 2), Item("\x00\xFF", 2), Item("\x7F\xFF", 2),
                                        Item("\x80\x00", 2), Item("\xFF\x00", 2)};
    EXPECT_EQ(result.items, expected) << batch;
  }
}

TEST(ExternalSorterTest, FailedRunFileWriteIsReportedAndNothingIsYielded) {
  const std::vector<Item> input = MakeItems(20000, 13, 3);
  // The first write (the memory stage moving to disk), one in the middle,
  // and the very last (at the merge's final spill).
  for (const int failing_write : {1, 5, 0}) {
    SCOPED_TRACE(failing_write);
    FaultyTempFiles files;
    if (failing_write == 0) {
      // A clean sort counts its writes; the same sort again fails its last.
      Sort(input, 13, files, {1300, ExternalSorter::kMaxRuns});
      files.fail_write_at = 2 * files.writes;
    } else {
      files.fail_write_at = failing_write;
    }
    files.write_error = OS_ERROR_DISK_FULL;
    const SortResult result = Sort(input, 13, files, {1300, ExternalSorter::kMaxRuns});
    EXPECT_EQ(result.prepare_error, OS_ERROR_DISK_FULL);
    if (failing_write != 0) {
      EXPECT_EQ(result.add_error, OS_ERROR_DISK_FULL);
    }
    EXPECT_TRUE(result.items.empty());
    EXPECT_EQ(OpenTempFiles(), 0);
  }
}

TEST(ExternalSorterTest, UnmadeTemporaryFileIsReported) {
  FaultyTempFiles files;
  files.create_error = OS_ERROR_PATH_NOT_FOUND;
  const SortResult result = Sort(MakeItems(2000, 13, 4), 13, files, {1300, ExternalSorter::kMaxRuns});
  EXPECT_EQ(result.add_error, OS_ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(result.prepare_error, OS_ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(result.items.empty());
}

TEST(ExternalSorterTest, TooManyRunsIsInsufficientMemory) {
  FaultyTempFiles files;
  const SortResult result = Sort(MakeItems(101, 10, 5), 10, files, {100, 10});
  EXPECT_EQ(result.add_error, 0);
  EXPECT_EQ(result.runs, 11u);
  EXPECT_EQ(result.prepare_error, ExternalSorter::kErrorNoMemory);
  EXPECT_TRUE(result.items.empty());
  // One run fewer is merged.
  const std::vector<Item> input = MakeItems(100, 10, 5);
  EXPECT_TRUE(Sort(input, 10, files, {100, 10}).items == Sorted(input));
}

TEST(ExternalSorterTest, FailedReadEndsTheMergeWithItsError) {
  FaultyTempFiles files;
  // 200 runs of 100 items, merged in one pass through 500-byte buffers, so
  // that reading goes on long after the first items.
  ExternalSorter sorter(13, files, {1300, ExternalSorter::kMaxRuns, 200 * (ExternalSorter::kReaderBuffer + 13)});
  for (const Item& item : MakeItems(20000, 13, 6)) {
    ASSERT_EQ(sorter.Add(reinterpret_cast<const uint8_t*>(item.data())), 0);
  }
  ASSERT_EQ(sorter.PrepareMerge(), 0);
  const uint8_t* item;
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(sorter.Next(&item), 0);
  files.read_error = OS_ERROR_IO_DEVICE;
  int32_t error = 0;
  for (int i = 0; i < 100000 && error == 0; ++i) error = sorter.Next(&item);
  EXPECT_EQ(error, OS_ERROR_IO_DEVICE);
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(sorter.Next(&item), OS_ERROR_IO_DEVICE);  // and stays failed
}

TEST(ExternalSorterTest, TemporaryFileIsReleasedAtEveryStage) {
  const std::vector<Item> input = MakeItems(20000, 13, 8);
  for (const int stage : {0, 1, 2}) {
    SCOPED_TRACE(stage);
    {
      ExternalSorter sorter(13, SystemTempFiles(), {1300, ExternalSorter::kMaxRuns});
      for (const Item& item : input) sorter.Add(reinterpret_cast<const uint8_t*>(item.data()));
      EXPECT_EQ(OpenTempFiles(), 1);
      if (stage >= 1) {
        ASSERT_EQ(sorter.PrepareMerge(), 0);
      }
      const uint8_t* item;
      if (stage >= 2) {
        sorter.Next(&item);
      }
    }
    EXPECT_EQ(OpenTempFiles(), 0);
  }
}

// Bytes of heap in use by this process.
size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

TEST(ExternalSorterTest, MemoryStaysBoundedWhateverTheNumberOfItems) {
  // 40 MB of items of a typical key size; sorted order is checked through a
  // running comparison and an order-independent checksum, so that the test
  // itself holds no copy of them.
  constexpr size_t kItemSize = 264;
  constexpr size_t kCount = 150000;
  std::mt19937_64 random(9);
  uint64_t input_sum = 0;
  auto item_hash = [](const uint8_t* p) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < kItemSize; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
  };

  const size_t baseline = HeapInUse();
  size_t peak = 0;
  {
    ExternalSorter sorter(kItemSize);
    uint8_t item[kItemSize];
    for (size_t i = 0; i < kCount; ++i) {
      for (size_t b = 0; b < kItemSize; b += 8) {
        const uint64_t r = random() & 0x0101010101010101ull;  // few distinct values
        std::memcpy(item + b, &r, 8);
      }
      input_sum += item_hash(item);
      ASSERT_EQ(sorter.Add(item), 0);
      if (i % 4096 == 0) peak = std::max(peak, HeapInUse());
    }
    ASSERT_EQ(sorter.PrepareMerge(), 0);
    EXPECT_GE(sorter.runs_written(), 39u);
    std::vector<uint8_t> previous;
    uint64_t output_sum = 0;
    size_t taken = 0;
    for (;;) {
      const uint8_t* next;
      ASSERT_EQ(sorter.Next(&next), 0);
      if (next == nullptr) break;
      if (!previous.empty()) {
        ASSERT_LE(std::memcmp(previous.data(), next, kItemSize), 0);
      }
      previous.assign(next, next + kItemSize);
      output_sum += item_hash(next);
      if (++taken % 4096 == 0) peak = std::max(peak, HeapInUse());
    }
    EXPECT_EQ(taken, kCount);
    EXPECT_EQ(output_sum, input_sum);
  }
  // One batch of items with its sort index, and 40 readers while merging.
  EXPECT_LT(peak - baseline, size_t{4} << 20);
  EXPECT_EQ(OpenTempFiles(), 0);
}

}  // namespace
}  // namespace vantrose
