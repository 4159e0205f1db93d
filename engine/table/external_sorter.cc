#include "engine/table/external_sorter.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vantrose {
namespace {

constexpr size_t kRunLengthBytes = 8;

void AppendRunLength(RunFile& file, uint64_t length) {
  uint8_t bytes[kRunLengthBytes];
  for (size_t i = 0; i < kRunLengthBytes; ++i) bytes[i] = static_cast<uint8_t>(length >> (8 * i));
  file.Append(bytes, sizeof bytes);
}

}  // namespace

// Reads one run of the RunFile item by item through its buffer. Requests of
// the buffer's size or more bypass it.
class ExternalSorter::RunReader {
 public:
  RunReader(uint64_t start, uint64_t end, uint8_t* buffer, size_t buffer_size, uint8_t* item)
      : next_(start), end_(end), buffer_(buffer), buffer_size_(buffer_size), item_(item) {}

  const uint8_t* item() const { return item_; }

  // Reads the run's next item into item(). Returns 0 and sets *has_item
  // (false when the run is exhausted), or a read error.
  int32_t Advance(RunFile& file, size_t item_size, bool* has_item) {
    *has_item = false;
    if (position_ == fill_ && next_ == end_) return 0;
    uint8_t* out = item_;
    size_t need = item_size;
    while (need > 0) {
      if (position_ < fill_) {
        const size_t take = std::min(need, fill_ - position_);
        std::memcpy(out, buffer_ + position_, take);
        position_ += take;
        out += take;
        need -= take;
        continue;
      }
      // Runs hold whole items (checked when the merge starts).
      if (end_ - next_ < need) return kOsErrorReadPastEnd;
      if (need >= buffer_size_) {
        if (const int32_t error = file.ReadAt(next_, out, need)) return error;
        next_ += need;
        break;
      }
      const size_t refill = static_cast<size_t>(std::min<uint64_t>(buffer_size_, end_ - next_));
      if (const int32_t error = file.ReadAt(next_, buffer_, refill)) return error;
      next_ += refill;
      position_ = 0;
      fill_ = refill;
    }
    *has_item = true;
    return 0;
  }

 private:
  uint64_t next_;  // next offset to read from the RunFile
  uint64_t end_;   // end of this run's items
  uint8_t* buffer_;
  size_t buffer_size_;
  size_t position_ = 0;
  size_t fill_ = 0;
  uint8_t* item_;  // the current item
};

ExternalSorter::ExternalSorter(size_t item_size)
    : ExternalSorter(item_size, CurrentTempFiles(), Limits{}) {}

ExternalSorter::ExternalSorter(size_t item_size, TempFileFactory& temp_files, Limits limits)
    : item_size_(item_size), temp_files_(temp_files), limits_(limits) {}

ExternalSorter::~ExternalSorter() = default;

int32_t ExternalSorter::Fail(int32_t error) {
  if (error_ == 0) error_ = error;
  return error_;
}

int32_t ExternalSorter::Add(const uint8_t* item) {
  if (error_ != 0) return error_;
  // The byte budget alone bounds a batch: it also caps its item count (at
  // most batch_bytes items), so the index needs no limit of its own.
  if (batch_.size() >= limits_.batch_bytes) {
    Spill();
    if (error_ != 0) return error_;
  }
  if (batch_.size() + item_size_ > batch_.capacity() && !GrowBatch()) {
    return Fail(kErrorNoMemory);
  }
  const size_t offset = batch_.size();
  batch_.insert(batch_.end(), item, item + item_size_);
  uint8_t head[8] = {};
  std::memcpy(head, item, std::min<size_t>(item_size_, 8));
  uint64_t prefix;
  std::memcpy(&prefix, head, 8);
  index_.push_back({__builtin_bswap64(prefix), static_cast<uint32_t>(offset)});
  return 0;
}

// Grows the batch and its index for at least one more item, geometrically
// up to one full batch, so that a small sort allocates little and a large one
// allocates its batch once and reuses it after every spill.
bool ExternalSorter::GrowBatch() {
  const size_t full = limits_.batch_bytes + item_size_;
  const size_t wanted = std::min(full, std::max<size_t>(batch_.capacity() * 2, 64 * item_size_));
  try {
    batch_.reserve(std::max(wanted, batch_.size() + item_size_));
    index_.reserve(batch_.capacity() / item_size_ + 1);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void ExternalSorter::SortBatch() {
  const uint8_t* base = batch_.data();
  const size_t rest = item_size_ > 8 ? item_size_ - 8 : 0;
  std::sort(index_.begin(), index_.end(), [base, rest](const SortEntry& a, const SortEntry& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return std::memcmp(base + a.offset + 8, base + b.offset + 8, rest) < 0;
  });
}

// Writes the batch as one run: its length, then its items in order.
void ExternalSorter::Spill() {
  if (batch_.empty()) return;
  if (run_file_ == nullptr) {
    try {
      run_file_ = std::make_unique<RunFile>(temp_files_);
    } catch (const std::bad_alloc&) {
      Fail(kErrorNoMemory);
      return;
    }
  }
  if (run_file_->error() == 0) {
    SortBatch();
    AppendRunLength(*run_file_, batch_.size());
    for (const SortEntry& entry : index_) run_file_->Append(batch_.data() + entry.offset, item_size_);
  }
  batch_.clear();
  index_.clear();
  ++runs_written_;
  if (run_file_->error() != 0) Fail(run_file_->error());
}

int32_t ExternalSorter::PrepareMerge() {
  if (error_ != 0) return error_;
  if (run_file_ == nullptr) {
    SortBatch();
    return 0;
  }
  return StartMerge();
}

int32_t ExternalSorter::StartMerge() {
  Spill();
  if (error_ != 0) return error_;
  if (runs_written_ > limits_.max_runs) return Fail(kErrorNoMemory);
  // Every item is on the RunFile now: the batch's memory goes back before
  // the readers take theirs.
  std::vector<uint8_t>().swap(batch_);
  std::vector<SortEntry>().swap(index_);
  merging_ = true;

  const uint64_t width = std::max<uint64_t>(2, limits_.merge_memory / (kReaderBuffer + item_size_));
  try {
    const size_t readers = static_cast<size_t>(std::min<uint64_t>(width, runs_written_));
    // Few runs share the merge memory in larger buffers: every refill is a
    // read of the temporary file, and a build merges a few runs per key of
    // hundreds of thousands of items.
    reader_buffer_ = std::clamp<size_t>(limits_.merge_memory / readers, kReaderBuffer + item_size_,
                                        kLargestReaderBuffer + item_size_) - item_size_;
    readers_.reserve(readers);
    heap_.reserve(readers);
    reader_memory_.resize(readers * (reader_buffer_ + item_size_));
  } catch (const std::bad_alloc&) {
    return Fail(kErrorNoMemory);
  }

  // Runs lie back to back from `first` to the end of the RunFile. While they
  // are too many for one merge, the oldest `width` become one run at the end.
  uint64_t first = 0;
  uint64_t pending = runs_written_;
  while (pending > width) {
    uint64_t end;
    if (const int32_t error = OpenReaders(first, width, &end)) return Fail(error);
    AppendRunLength(*run_file_, end - first - width * kRunLengthBytes);
    for (;;) {
      const uint8_t* item;
      if (const int32_t error = Next(&item)) return error;
      if (item == nullptr) break;
      run_file_->Append(item, item_size_);
    }
    if (run_file_->error() != 0) return Fail(run_file_->error());
    first = end;
    pending -= width - 1;
    ++merge_passes_;
  }
  uint64_t end;
  if (const int32_t error = OpenReaders(first, pending, &end)) return Fail(error);
  return end == run_file_->size() ? 0 : Fail(kOsErrorReadPastEnd);
}

// Makes the readers of `count` runs that lie back to back from offset
// `first`, each on its first item, and sets *end after the last of them.
int32_t ExternalSorter::OpenReaders(uint64_t first, uint64_t count, uint64_t* end) {
  const size_t per_reader = reader_buffer_ + item_size_;
  readers_.clear();
  heap_.clear();
  top_taken_ = false;
  uint64_t offset = first;
  for (uint32_t run = 0; run < count; ++run) {
    uint8_t length_bytes[kRunLengthBytes];
    if (const int32_t error = run_file_->ReadAt(offset, length_bytes, sizeof length_bytes)) {
      return error;
    }
    uint64_t length = 0;
    for (size_t i = 0; i < kRunLengthBytes; ++i) length |= uint64_t{length_bytes[i]} << (8 * i);
    const uint64_t start = offset + kRunLengthBytes;
    // The RunFile is our own, but nothing read back is trusted blindly.
    if (length == 0 || length % item_size_ != 0 || length > run_file_->size() - start) {
      return kOsErrorReadPastEnd;
    }
    uint8_t* memory = reader_memory_.data() + run * per_reader;
    readers_.emplace_back(start, start + length, memory, reader_buffer_, memory + reader_buffer_);
    bool has_item;
    if (const int32_t error = readers_.back().Advance(*run_file_, item_size_, &has_item)) {
      return error;
    }
    heap_.push_back(run);
    offset = start + length;
  }
  for (size_t position = heap_.size() / 2; position-- > 0;) SiftDown(position);
  *end = offset;
  return 0;
}

bool ExternalSorter::ReaderLess(uint32_t a, uint32_t b) const {
  return std::memcmp(readers_[a].item(), readers_[b].item(), item_size_) < 0;
}

void ExternalSorter::SiftDown(size_t position) {
  const size_t count = heap_.size();
  const uint32_t moving = heap_[position];
  for (;;) {
    size_t child = 2 * position + 1;
    if (child >= count) break;
    if (child + 1 < count && ReaderLess(heap_[child + 1], heap_[child])) ++child;
    if (!ReaderLess(heap_[child], moving)) break;
    heap_[position] = heap_[child];
    position = child;
  }
  heap_[position] = moving;
}

int32_t ExternalSorter::Next(const uint8_t** item) {
  *item = nullptr;
  if (error_ != 0) return error_;
  if (!merging_) {
    if (next_in_batch_ < index_.size()) *item = batch_.data() + index_[next_in_batch_++].offset;
    return 0;
  }
  if (top_taken_) {
    // The item handed out last is no longer needed: move its run on.
    top_taken_ = false;
    bool has_item;
    if (const int32_t error = readers_[heap_[0]].Advance(*run_file_, item_size_, &has_item)) {
      return Fail(error);
    }
    if (!has_item) {
      heap_[0] = heap_.back();
      heap_.pop_back();
    }
    if (!heap_.empty()) SiftDown(0);
  }
  if (heap_.empty()) return 0;
  *item = readers_[heap_[0]].item();
  top_taken_ = true;
  return 0;
}

}  // namespace vantrose
