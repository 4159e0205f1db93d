// The operating-system file under one open table file (or transaction control
// file): whole-block transfers at absolute offsets, enciphered when the file
// has a password, flush, truncate, close, delete, and the byte-range locks
// through which processes share the file.
//
// Lock ranges, all at file offset 2^31 + n (computed in 32 bits), beyond any
// data the file holds:
//
//   n = 0 .. 1022      reader slots; a reader locks its one slot (kind 1);
//                      the commit lock (kind 2) covers all 1023 of them
//   n = 1023           writer lock (kind 0)
//   n = 1024 + r       record lock; callers pass r = record number + 1
//
// A closed OsFile does nothing: reads answer 0 bytes, locks succeed.
// Nothing here throws except through ReportCorruption.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/storage/cipher.h"
#include "platform/file_system.h"

namespace vantrose {

// Open mode word: access in bits 0-1, sharing in bits 4-6, engine-private
// open-or-create in bit 8.
enum : uint32_t {
  OPEN_ACCESS_MASK = 0x03,
  OPEN_READ_ONLY = 0x00,
  OPEN_WRITE_ONLY = 0x01,
  OPEN_READ_WRITE = 0x02,
  OPEN_SHARE_MASK = 0x70,
  OPEN_COMPATIBILITY = 0x00,
  OPEN_DENY_ALL = 0x10,
  OPEN_DENY_WRITE = 0x20,
  OPEN_DENY_READ = 0x30,
  OPEN_DENY_NONE = 0x40,
  OPEN_PRIVATE_CREATE = 0x100,
};

// Lock kinds; 0 and 1 are also the values of a store's reader-mode flag.
enum : int32_t { LOCK_WRITER = 0, LOCK_READER = 1, LOCK_COMMIT = 2 };

inline constexpr uint32_t kReaderSlots = 1023;
inline constexpr uint32_t kLockAreaBase = 0x80000000u;
inline constexpr uint32_t kWriterLockByte = 1023;
inline constexpr uint32_t kRecordLockBase = 1024;

class OsFile {
 public:
  OsFile();
  ~OsFile();  // closes
  OsFile(const OsFile&) = delete;
  OsFile& operator=(const OsFile&) = delete;

  bool is_open() const { return handle_ != kNoFile; }
  const std::string& name() const { return name_; }
  // 0, or the first error of a failed write; while set, writes are skipped.
  int32_t write_error() const { return write_error_; }
  void ClearWriteError() { write_error_ = 0; }
  uint32_t reader_slot() const { return reader_slot_; }
  bool enciphered() const { return cipher_ != nullptr; }

 private:
  friend int32_t OsOpen(OsFile&, std::string_view, uint32_t, std::string_view);
  friend size_t OsRead(OsFile&, uint64_t, void*, size_t);
  friend void OsWrite(OsFile&, uint64_t, void*, size_t);
  friend void OsFlush(OsFile&);
  friend int32_t OsFlushChecked(OsFile&);
  friend void OsTruncate(OsFile&, uint64_t);
  friend void OsClose(OsFile&);
  friend int32_t OsCloseAndDelete(OsFile&);
  friend int32_t OsLock(OsFile&, uint32_t, int32_t, bool);
  friend void OsUnlock(OsFile&, uint32_t, int32_t);

  FileSystem* fs_;     // the file system the handle belongs to
  FileHandle handle_;
  int32_t write_error_;
  std::string name_;   // kept even when the open fails
  uint32_t reader_slot_;  // 0 .. kReaderSlots - 1
  std::unique_ptr<BlockCipher> cipher_;  // present with a non-empty password
};

// Opens `name` with the access and sharing of `mode`. With OPEN_PRIVATE_CREATE
// a missing file is created empty. Answers 0 or the error (a sharing
// violation is 5). The name is kept in all cases. `password` ends at its
// first zero byte; an empty one means no cipher.
int32_t OsOpen(OsFile& file, std::string_view name, uint32_t mode, std::string_view password);

// Reads up to `length` bytes (a multiple of 64, else report 2272) at `offset`;
// answers the count, short only at the end of the file. A failing read is
// report 2277. Deciphers only a whole read.
size_t OsRead(OsFile& file, uint64_t offset, void* buffer, size_t length);
// As OsRead; anything but the whole length is report 2172.
void OsReadExact(OsFile& file, uint64_t offset, void* buffer, size_t length);
// Writes `length` bytes (a multiple of 64, else report 2286). Skipped when the
// file is closed or its write error is set. A failure sets the write error
// (a short write: 5). The buffer is enciphered in place for the transfer and
// holds the caller's bytes again on return.
void OsWrite(OsFile& file, uint64_t offset, void* buffer, size_t length);
// Forces written data to the disk; failures are ignored.
void OsFlush(OsFile& file);
// As OsFlush, but answers the flush's error (0 on success; 0 on a closed
// file): a commit must not mark a log that may not have reached the disk.
int32_t OsFlushChecked(OsFile& file);
// Cuts the file at `offset`; failures are ignored.
void OsTruncate(OsFile& file, uint64_t offset);
void OsClose(OsFile& file);
// Closes the file and deletes it by its stored name: 0 or the delete's error.
int32_t OsCloseAndDelete(OsFile& file);

// Takes a lock: `record` nonzero selects record lock 1024 + record (then
// `kind` must be LOCK_WRITER, else report 2328), otherwise `kind` selects the
// writer, reader or commit lock. A reader whose slot is taken moves on to the
// next slot. With `wait` the attempt repeats until it succeeds. Answers 0 or
// the lock error (33).
int32_t OsLock(OsFile& file, uint32_t record, int32_t kind, bool wait);
// Releases the same ranges (a record with a kind is report 2352).
void OsUnlock(OsFile& file, uint32_t record, int32_t kind);

}  // namespace vantrose
