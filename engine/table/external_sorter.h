// ExternalSorter: sorts fixed-size items (a key build's key values, each
// followed by its record number) in bounded memory.
//
// Items are collected in an in-memory batch. Once the batch holds
// kBatchBytes bytes of items it is sorted and spilled as one run onto the
// RunFile (run_file.h). When adding ends, a sort that never spilled hands
// out its batch in order; otherwise the last batch is spilled too and the
// runs are merged, each read through its own buffer of at least
// kReaderBuffer bytes (the merge memory shared among the runs of a pass, up
// to kLargestReaderBuffer each).
//
// Order: unsigned byte comparison over the whole item (memcmp order), the
// order of the page tree's keys; equal items are identical bytes, so the
// sequence handed out does not depend on how the items were split into runs.
//
// Memory: at most one batch (kBatchBytes plus one item, and 16 bytes of sort
// index per item) while adding; while merging, the batch having been freed,
// one reader per run (a buffer plus one item each), for at most as many
// runs as fit in kMergeMemory with kReaderBuffer-byte buffers; fewer runs
// share that memory in larger buffers. When there are more runs, the oldest
// are first merged in groups of that many into longer runs appended to the
// RunFile, until one merge can take the rest. Memory is so bounded whatever
// the number of items; only the temporary file grows with them.
//
// Usage: Add each item, PrepareMerge once, then Next until it yields no
// item. Destroying the sorter releases everything, the temporary file
// included, at whatever stage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/table/run_file.h"
#include "platform/temp_file.h"

namespace vantrose {

class ExternalSorter {
 public:
  static constexpr size_t kBatchBytes = 1000000;
  static constexpr uint32_t kMaxRuns = 0x3FFFFFE6;
  static constexpr size_t kReaderBuffer = 500;
  static constexpr size_t kLargestReaderBuffer = 64 << 10;
  static constexpr size_t kMergeMemory = 4 << 20;
  // Error when the items cannot be produced for want of memory, or because
  // the run count would pass kMaxRuns ("Insufficient Memory").
  static constexpr int32_t kErrorNoMemory = 8;

  // Tests shrink these to reach many runs and merge passes with few items.
  struct Limits {
    size_t batch_bytes = kBatchBytes;  // below 4 GB: items are placed by 32-bit offsets
    uint32_t max_runs = kMaxRuns;
    size_t merge_memory = kMergeMemory;  // takes at least two readers
  };

  // Precondition: item_size > 0. Temporary files come from
  // CurrentTempFiles() unless a factory is given.
  explicit ExternalSorter(size_t item_size);
  ExternalSorter(size_t item_size, TempFileFactory& temp_files, Limits limits);
  ~ExternalSorter();

  ExternalSorter(const ExternalSorter&) = delete;
  ExternalSorter& operator=(const ExternalSorter&) = delete;

  // Adds a copy of `item` (item_size bytes). Returns 0, or the error that
  // already keeps the sorter from producing its items (then adding more is
  // pointless; PrepareMerge reports it again): the operating-system error
  // number of a failed run-file write (112 for a full disk), or
  // kErrorNoMemory.
  int32_t Add(const uint8_t* item);

  // Ends adding. Returns 0, or the error that keeps the sorter from
  // producing all its items (as Add, and kErrorNoMemory for more runs than
  // Limits::max_runs); then Next yields nothing.
  int32_t PrepareMerge();

  // Sets *item to the next item in order, or to null when every item has
  // been taken. The item stays valid until the next call. Returns 0, or the
  // error number of a failed run-file read (then *item is null).
  int32_t Next(const uint8_t** item);

  // Runs spilled from batches (runs merged before the last merge not counted).
  uint32_t runs_written() const { return runs_written_; }
  // Merges before the last one (0 unless the runs passed one merge's memory).
  uint32_t merge_passes() const { return merge_passes_; }
  // True once runs left memory for a temporary file.
  bool used_temp_file() const { return run_file_ != nullptr && run_file_->on_disk(); }

 private:
  // Sort index entry: the item's first 8 bytes as a big-endian number (so
  // that integer order is byte order) and where the item lies in the batch.
  struct SortEntry {
    uint64_t prefix;
    uint32_t offset;
  };
  class RunReader;

  int32_t Fail(int32_t error);
  bool GrowBatch();
  void SortBatch();
  void Spill();
  int32_t StartMerge();
  int32_t OpenReaders(uint64_t first, uint64_t count, uint64_t* end);
  bool ReaderLess(uint32_t a, uint32_t b) const;
  void SiftDown(size_t position);

  const size_t item_size_;
  TempFileFactory& temp_files_;
  const Limits limits_;
  int32_t error_ = 0;

  std::vector<uint8_t> batch_;        // items back to back, in add order
  std::vector<SortEntry> index_;      // one entry per item of batch_
  size_t next_in_batch_ = 0;          // unspilled sort: next entry to yield

  std::unique_ptr<RunFile> run_file_;  // none until the first spill
  uint32_t runs_written_ = 0;
  uint32_t merge_passes_ = 0;

  std::vector<RunReader> readers_;
  std::vector<uint8_t> reader_memory_;  // buffers and current items of the readers
  size_t reader_buffer_ = kReaderBuffer;  // bytes of each reader's buffer
  std::vector<uint32_t> heap_;          // reader numbers, smallest current item on top
  bool top_taken_ = false;              // heap_[0]'s item was handed out
  bool merging_ = false;
};

}  // namespace vantrose
