// Temporary files: scratch storage that no other process needs to see and
// that never outlives its user. Each file is made with mkstemp in $TMPDIR
// (else /tmp) under a unique name that starts with "TMP".
//
// The name is unlinked as soon as the file is open, so a temporary file
// vanishes when it is released and also when the process dies without
// releasing it (a crash, SIGKILL): nothing is ever left in the directory.
//
// Offers: TempFile (positioned reads and writes), TempFileFactory (the
// seam through which tests substitute failing files), SystemTempFiles(),
// CurrentTempFiles() and ScopedTempFiles (to put a test's factory in place).
// Needs: POSIX files; platform/os_error.h for the error numbering.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vantrose {

// Windows number of a read that meets the end of a file (ERROR_HANDLE_EOF).
constexpr int32_t kOsErrorReadPastEnd = 38;

// One open temporary file. Destroying it closes and removes it.
class TempFile {
 public:
  virtual ~TempFile() = default;

  // Writes all `size` bytes at `offset`. Returns 0, or the operating-system
  // error number (Windows numbering; 112 when the disk is full). A failed
  // write also records its number as the last operating-system error.
  virtual int32_t WriteAt(uint64_t offset, const void* data, size_t size) = 0;

  // Reads exactly `size` bytes at `offset`. Returns 0, or the error number;
  // a read that would pass the end of what was written fails with
  // kOsErrorReadPastEnd, since the file holds nothing but what its owner
  // wrote.
  virtual int32_t ReadAt(uint64_t offset, void* data, size_t size) = 0;
};

// Makes temporary files.
class TempFileFactory {
 public:
  virtual ~TempFileFactory() = default;

  // Creates a new empty temporary file. Returns 0 and the file, or the
  // operating-system error number and no file.
  virtual int32_t Create(std::unique_ptr<TempFile>* file) = 0;
};

// The operating system's temporary files (process-wide, stateless).
TempFileFactory& SystemTempFiles();

// The factory that temporary files made from now on come from: the system's
// unless a test has put another in place.
TempFileFactory& CurrentTempFiles();

// Puts `replacement` in place of the current factory for its lifetime.
class ScopedTempFiles {
 public:
  explicit ScopedTempFiles(TempFileFactory& replacement);
  ~ScopedTempFiles();
  ScopedTempFiles(const ScopedTempFiles&) = delete;
  ScopedTempFiles& operator=(const ScopedTempFiles&) = delete;

 private:
  TempFileFactory* previous_;
};

}  // namespace vantrose
