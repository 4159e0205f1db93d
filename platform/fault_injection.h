// A file system for tests of commit and recovery: it passes every call to
// another file system and, when told to, fails a chosen write or flush or
// behaves like a machine whose power is cut.
//
//   FaultInjectingFileSystem faults;           // over the native file system
//   ScopedFileSystem use(faults);              // files opened now go through it
//   faults.FailWrite(3, 112);                  // the third write from now: disk full
//   faults.CutPowerAfterWrites(5, 1);          // writes 1..5 land, the 6th keeps
//                                              // its first 256 bytes, later ones vanish
//   faults.LoseUnflushedWrites();              // the crash: undo what no flush covered
//
// Writes are counted across all files of this file system. Writes that the
// power cut swallows are acknowledged as complete, as a disk cache would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace vantrose {

class FaultInjectingFileSystem : public FileSystem {
 public:
  explicit FaultInjectingFileSystem(FileSystem& base = NativeFileSystem());
  ~FaultInjectingFileSystem() override;

  // The n-th write (n = 1: the next one) from now on fails with `error`
  // without touching the file. Later writes succeed again.
  void FailWrite(int n, int32_t error);
  // The n-th flush from now on fails with `error` and forces nothing through.
  void FailFlush(int n, int32_t error);
  // The next n writes land; after them the power is off: the write that
  // follows keeps only its first torn_blocks × 256 bytes, and every later
  // write or truncate is acknowledged and dropped.
  void CutPowerAfterWrites(int n, size_t torn_blocks = 0);
  // The crash itself: every write and truncate that no flush of its file has
  // covered is undone, newest first, so each file holds what a disk would
  // hold after losing its cache. The power stays off until Reset.
  void LoseUnflushedWrites();
  // Forgets every armed fault and turns the power back on.
  void Reset();

  bool power_off() const { return power_off_; }
  int writes() const { return writes_; }    // write calls seen since construction
  int flushes() const { return flushes_; }  // flush calls seen since construction

  int32_t Open(const std::string& path, const FileOpenRequest& request,
               FileHandle* handle) override;
  int32_t ReadAt(FileHandle handle, uint64_t offset, void* buffer, size_t length,
                 size_t* done) override;
  int32_t WriteAt(FileHandle handle, uint64_t offset, const void* buffer, size_t length,
                  size_t* done) override;
  int32_t Truncate(FileHandle handle, uint64_t size) override;
  int32_t FileSize(FileHandle handle, uint64_t* size) override;
  int32_t Flush(FileHandle handle) override;
  int32_t Close(FileHandle handle) override;
  int32_t Delete(const std::string& path) override;
  int32_t LockRange(FileHandle handle, uint64_t offset, uint64_t length) override;
  int32_t UnlockRange(FileHandle handle, uint64_t offset, uint64_t length) override;

 private:
  // What a change overwrote: the bytes at `offset` as they were (only those
  // that lay inside the file) and the file's size before the change.
  struct Undo {
    uint64_t offset;
    std::vector<uint8_t> old_bytes;
    uint64_t old_size;
  };

  // Remembers what [offset, offset + length) of the file holds now, so that a
  // crash can restore it. Answers an error when the file cannot be read.
  int32_t SaveForUndo(FileHandle handle, uint64_t offset, uint64_t length);
  // A handle with write access to `path`: one that is open, else a new one
  // (*opened_here then says to close it).
  FileHandle HandleForPath(const std::string& path, bool* opened_here);

  FileSystem& base_;
  struct OpenHandle {
    std::string path;
    bool write;
  };
  std::map<FileHandle, OpenHandle> handles_;            // open handles
  std::map<std::string, std::vector<Undo>> unflushed_;  // per file, oldest first
  int fail_write_at_ = 0;  // write number that fails; 0: none
  int32_t write_error_ = 0;
  int fail_flush_at_ = 0;
  int32_t flush_error_ = 0;
  int cut_after_ = -1;     // write number after which the power goes off; -1: none
  size_t torn_blocks_ = 0;
  bool power_off_ = false;
  int writes_ = 0;
  int flushes_ = 0;
};

}  // namespace vantrose
