#include "platform/temp_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/os_error.h"

namespace vantrose {
namespace {

int32_t Record(int32_t number) {
  SetLastOsErrorNumber(number);
  return number;
}

int32_t RecordErrno(int error) { return Record(OsErrorFromErrno(error)); }

class SystemTempFile final : public TempFile {
 public:
  explicit SystemTempFile(int fd) : fd_(fd) {}
  ~SystemTempFile() override { ::close(fd_); }

  SystemTempFile(const SystemTempFile&) = delete;
  SystemTempFile& operator=(const SystemTempFile&) = delete;

  int32_t WriteAt(uint64_t offset, const void* data, size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t written = ::pwrite(fd_, bytes, size, static_cast<off_t>(offset));
      if (written < 0) {
        if (errno == EINTR) continue;
        return RecordErrno(errno);
      }
      // A regular file that accepts no byte at all is out of space.
      if (written == 0) return Record(OS_ERROR_DISK_FULL);
      bytes += written;
      offset += static_cast<uint64_t>(written);
      size -= static_cast<size_t>(written);
    }
    return 0;
  }

  int32_t ReadAt(uint64_t offset, void* data, size_t size) override {
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
      const ssize_t got = ::pread(fd_, bytes, size, static_cast<off_t>(offset));
      if (got < 0) {
        if (errno == EINTR) continue;
        return RecordErrno(errno);
      }
      if (got == 0) {
        return Record(kOsErrorReadPastEnd);
      }
      bytes += got;
      offset += static_cast<uint64_t>(got);
      size -= static_cast<size_t>(got);
    }
    return 0;
  }

 private:
  const int fd_;
};

class SystemTempFileFactory final : public TempFileFactory {
 public:
  int32_t Create(std::unique_ptr<TempFile>* file) override {
    file->reset();
    const char* dir = ::getenv("TMPDIR");
    std::string name = (dir != nullptr && dir[0] != '\0') ? dir : "/tmp";
    if (name.back() != '/') name += '/';
    name += "TMPXXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    // The name is new, so a missing entry can only be the directory.
    if (fd < 0) return errno == ENOENT ? Record(OS_ERROR_PATH_NOT_FOUND) : RecordErrno(errno);
    // Unlinked at once: the open descriptor keeps the file alive, and the
    // name can never be left behind, however the process ends.
    if (::unlink(name.c_str()) != 0) {
      const int error = errno;
      ::close(fd);
      return RecordErrno(error);
    }
    *file = std::make_unique<SystemTempFile>(fd);
    return 0;
  }
};

TempFileFactory* g_current = nullptr;  // null: the system's

}  // namespace

TempFileFactory& SystemTempFiles() {
  static SystemTempFileFactory factory;
  return factory;
}

TempFileFactory& CurrentTempFiles() { return g_current != nullptr ? *g_current : SystemTempFiles(); }

ScopedTempFiles::ScopedTempFiles(TempFileFactory& replacement) : previous_(g_current) {
  g_current = &replacement;
}

ScopedTempFiles::~ScopedTempFiles() { g_current = previous_; }

}  // namespace vantrose
