// Files with sharing modes and byte-range locks, behind one interface so that
// tests can put a fault-injecting file system in place of the real one.
//
// Every call answers an operating-system error number in the engine's
// (Windows) numbering, 0 on success (platform/os_error.h), and records a
// failure's number as the last error. None throws.
//
// Sharing between handles (of this process or any other) follows the Windows
// rule: an open succeeds only when its access is allowed by the sharing of
// every handle already open on the file and the access of every such handle
// is allowed by the new handle's sharing; otherwise it fails with 32.
//
// Byte-range locks are exclusive, never block, and may lie beyond the end of
// the file. A range held through any other handle, in this process or
// another, is taken (33); ranges held through the same handle never conflict.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrose {

// An open file of a FileSystem; kNoFile when not open.
using FileHandle = int32_t;
inline constexpr FileHandle kNoFile = -1;

struct FileOpenRequest {
  bool read = true;          // access asked for
  bool write = false;
  bool share_read = true;    // what other handles may do while this one is open
  bool share_write = true;
  bool create = false;       // create the file when it is missing
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual int32_t Open(const std::string& path, const FileOpenRequest& request,
                       FileHandle* handle) = 0;
  // Positioned transfers. A read that meets the end of the file reports the
  // bytes it got in *done and answers 0; a write reports 0 only when every
  // byte was written (*done says how many were).
  virtual int32_t ReadAt(FileHandle handle, uint64_t offset, void* buffer, size_t length,
                         size_t* done) = 0;
  virtual int32_t WriteAt(FileHandle handle, uint64_t offset, const void* buffer,
                          size_t length, size_t* done) = 0;
  virtual int32_t Truncate(FileHandle handle, uint64_t size) = 0;
  virtual int32_t FileSize(FileHandle handle, uint64_t* size) = 0;
  // Forces every byte written so far through to the disk.
  virtual int32_t Flush(FileHandle handle) = 0;
  virtual int32_t Close(FileHandle handle) = 0;
  virtual int32_t Delete(const std::string& path) = 0;
  virtual int32_t LockRange(FileHandle handle, uint64_t offset, uint64_t length) = 0;
  virtual int32_t UnlockRange(FileHandle handle, uint64_t offset, uint64_t length) = 0;
};

// The real file system of the machine.
FileSystem& NativeFileSystem();

// The file system that files opened from now on use: the native one unless a
// test has put another in place.
FileSystem& CurrentFileSystem();

// Puts `replacement` in place of the current file system for its lifetime.
// Files opened meanwhile keep using it until they are closed, so it must
// outlive them.
class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(FileSystem& replacement);
  ~ScopedFileSystem();
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

 private:
  FileSystem* previous_;
};

}  // namespace vantrose
