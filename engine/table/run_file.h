// RunFile: the scratch storage of the external sorter. Sorted runs are
// appended to it while items are added, and read back at any offset while
// they are merged.
//
// Layout (a byte stream, from offset 0):
//
//   run 1: length L1 (u64, least significant byte first), L1 bytes of items
//   run 2: length L2, L2 bytes of items
//   ...
//
// (The length is 64 bits wide because runs merged from other runs can pass
// 4 GB; the file is private to one sort and never outlives it.)
//
// Storage stages: the first kMemoryStage bytes are held in memory; the first
// append that would pass them creates a temporary file, writes the memory
// stage to it, and from then on everything goes to the file through the
// same kMemoryStage bytes, now a write buffer (written out whenever it fills
// and before any read). So a sort whose runs total at most kMemoryStage
// bytes never touches the disk. (Appends are items and run lengths, always
// shorter than the buffer, so none needs a way around it.)
//
// Invariant: bytes [0, size()) are readable exactly as appended, unless
// error() is set; after the first failure further appends are dropped, and
// the failure's operating-system error number stays in error().
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/temp_file.h"

namespace vantrose {

class RunFile {
 public:
  static constexpr size_t kMemoryStage = 16384;

  explicit RunFile(TempFileFactory& temp_files);
  // Closes and so removes the temporary file, if one was made.
  ~RunFile();

  RunFile(const RunFile&) = delete;
  RunFile& operator=(const RunFile&) = delete;

  // Appends `size` bytes at the end. A failure (the temporary file could not
  // be made or written) sets error(); the bytes are then lost.
  void Append(const void* data, size_t size);

  // Reads `size` bytes at `offset` (within [0, size())). Returns 0, or an
  // operating-system error number (which also sets error()).
  int32_t ReadAt(uint64_t offset, void* data, size_t size);

  uint64_t size() const { return size_; }
  // 0, or the operating-system error number of the first failure.
  int32_t error() const { return error_; }
  bool on_disk() const { return file_ != nullptr; }

 private:
  void MoveToDisk();
  void FlushWriteBuffer();
  void WriteToFile(uint64_t offset, const uint8_t* data, size_t size);

  TempFileFactory& temp_files_;
  uint64_t size_ = 0;  // bytes appended so far
  int32_t error_ = 0;
  // Memory stage while file_ is null; afterwards the write buffer, which
  // holds the bytes from size_ - buffer_.size() to size_ not yet written.
  std::vector<uint8_t> buffer_;
  std::unique_ptr<TempFile> file_;
};

}  // namespace vantrose
