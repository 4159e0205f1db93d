// CoalescedWrites: writes that a commit issues back to back, joined into
// fewer, larger writes of the file.
//
// A commit writes its log block after block at increasing offsets, and the
// pages of a zone that moved together lie in neighbouring slots; each of
// them written alone costs a system call (and a pass of the cipher) for a
// few hundred bytes. A write that continues the pending run is appended to
// it; any other write, a run reaching the size limit, and Flush send the
// pending run to the file first. Only the number of writes changes: the
// bytes and offsets are the same, and nothing is written later than the
// next Flush, which the commit calls before it flushes the file.
//
// Offers: CoalescedWrites. Needs: OsFile (os_file.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrose {

class OsFile;

class CoalescedWrites {
 public:
  static constexpr size_t kRunLimit = 1 << 20;

  explicit CoalescedWrites(OsFile& file) : file_(file) {}
  CoalescedWrites(const CoalescedWrites&) = delete;
  CoalescedWrites& operator=(const CoalescedWrites&) = delete;

  // Writes `length` bytes (a multiple of 64, as OsWrite asks) at `offset`.
  void Write(uint64_t offset, const uint8_t* bytes, size_t length);
  // Sends the pending run to the file (OsWrite: a failure sets the file's
  // write error).
  void Flush();

 private:
  OsFile& file_;
  uint64_t start_ = 0;           // offset of the pending run
  std::vector<uint8_t> pending_;  // its bytes
};

}  // namespace vantrose
