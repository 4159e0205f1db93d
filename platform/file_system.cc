// The native file system: POSIX descriptors, with Windows sharing modes and
// byte-range locks built from open-file-description locks.
//
// Sharing. Each open handle states its access and its denials by holding
// shared locks on single bytes of a reserved range far above any protocol
// lock (2^31 + n stays below 2^33):
//
//   kShareArea + 0   gate: held exclusively for the moment of an open check
//   kShareArea + 1   the handle may read
//   kShareArea + 2   the handle may write
//   kShareArea + 3   the handle denies reading to others
//   kShareArea + 4   the handle denies writing to others
//
// An open takes the gate, probes the bytes that would conflict with it, and
// on success takes its own bytes before letting the gate go. Locks of an open
// file description die with it, so a crashed process shares nothing.
//
// Descriptors are opened read-write where the file permits it, whatever
// access was asked for, so that exclusive locks can be taken; the access the
// caller asked for is enforced here. On a file that permits only reading,
// locks are taken shared.

#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "platform/os_error.h"

namespace vantrose {
namespace {

constexpr uint64_t kShareArea = uint64_t{1} << 40;
constexpr uint64_t kGateByte = kShareArea;
constexpr uint64_t kReadsByte = kShareArea + 1;
constexpr uint64_t kWritesByte = kShareArea + 2;
constexpr uint64_t kDeniesReadByte = kShareArea + 3;
constexpr uint64_t kDeniesWriteByte = kShareArea + 4;

int32_t Fail(int32_t error) {
  SetLastOsErrorNumber(error);
  return error;
}

int32_t FailErrno() { return Fail(OsErrorFromErrno(errno)); }

// One byte-range lock call; F_OFD_SETLKW waits, F_OFD_SETLK does not.
int RangeLock(int fd, int command, short type, uint64_t offset, uint64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  int result;
  do {
    result = fcntl(fd, command, &lock);
  } while (result != 0 && errno == EINTR);
  return result;
}

// True when another open file description holds any lock on the byte.
bool ByteHeldElsewhere(int fd, uint64_t offset) {
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = static_cast<off_t>(offset);
  probe.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return true;  // cannot tell: assume taken
  return probe.l_type != F_UNLCK;
}

// The parent directory of `path` ("." for a bare name).
std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// ENOENT means a missing file when the directory exists, else a missing path.
int32_t MissingFileError(const std::string& path) {
  struct stat info {};
  if (stat(DirectoryOf(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return OS_ERROR_FILE_NOT_FOUND;
  }
  return OS_ERROR_PATH_NOT_FOUND;
}

class NativeFiles final : public FileSystem {
 public:
  int32_t Open(const std::string& path, const FileOpenRequest& request,
               FileHandle* handle) override {
    *handle = kNoFile;
    bool created = false;
    int fd = OpenDescriptor(path, request, &created);
    if (fd < 0) return Fail(errno == ENOENT ? MissingFileError(path) : OsErrorFromErrno(errno));
    bool writable = (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR;
    if (int32_t error = ClaimSharing(fd, writable, request); error != 0) {
      close(fd);
      return Fail(error);
    }
    if (created) SyncDirectory(path);
    std::lock_guard<std::mutex> guard(mutex_);
    files_[fd] = Entry{request.write, writable};
    *handle = fd;
    return 0;
  }

  int32_t ReadAt(FileHandle handle, uint64_t offset, void* buffer, size_t length,
                 size_t* done) override {
    *done = 0;
    if (!Find(handle)) return Fail(OS_ERROR_INVALID_HANDLE);
    auto* out = static_cast<uint8_t*>(buffer);
    while (*done < length) {
      ssize_t got = pread(handle, out + *done, length - *done, static_cast<off_t>(offset + *done));
      if (got < 0) {
        if (errno == EINTR) continue;
        return FailErrno();
      }
      if (got == 0) break;
      *done += static_cast<size_t>(got);
    }
    return 0;
  }

  int32_t WriteAt(FileHandle handle, uint64_t offset, const void* buffer, size_t length,
                  size_t* done) override {
    *done = 0;
    Entry entry;
    if (!Find(handle, &entry)) return Fail(OS_ERROR_INVALID_HANDLE);
    if (!entry.write) return Fail(OS_ERROR_ACCESS_DENIED);
    const auto* in = static_cast<const uint8_t*>(buffer);
    while (*done < length) {
      ssize_t put = pwrite(handle, in + *done, length - *done, static_cast<off_t>(offset + *done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return FailErrno();
      }
      if (put == 0) return Fail(OS_ERROR_DISK_FULL);
      *done += static_cast<size_t>(put);
    }
    return 0;
  }

  int32_t Truncate(FileHandle handle, uint64_t size) override {
    Entry entry;
    if (!Find(handle, &entry)) return Fail(OS_ERROR_INVALID_HANDLE);
    if (!entry.write) return Fail(OS_ERROR_ACCESS_DENIED);
    if (ftruncate(handle, static_cast<off_t>(size)) != 0) return FailErrno();
    return 0;
  }

  int32_t FileSize(FileHandle handle, uint64_t* size) override {
    *size = 0;
    struct stat info {};
    if (!Find(handle)) return Fail(OS_ERROR_INVALID_HANDLE);
    if (fstat(handle, &info) != 0) return FailErrno();
    *size = static_cast<uint64_t>(info.st_size);
    return 0;
  }

  int32_t Flush(FileHandle handle) override {
    if (!Find(handle)) return Fail(OS_ERROR_INVALID_HANDLE);
    if (fdatasync(handle) != 0) return FailErrno();
    return 0;
  }

  int32_t Close(FileHandle handle) override {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (files_.erase(handle) == 0) return Fail(OS_ERROR_INVALID_HANDLE);
    }
    // The descriptor is gone even when close reports an error.
    if (close(handle) != 0 && errno != EINTR) return FailErrno();
    return 0;
  }

  int32_t Delete(const std::string& path) override {
    if (unlink(path.c_str()) != 0) {
      return Fail(errno == ENOENT ? MissingFileError(path) : OsErrorFromErrno(errno));
    }
    return 0;
  }

  int32_t LockRange(FileHandle handle, uint64_t offset, uint64_t length) override {
    Entry entry;
    if (!Find(handle, &entry)) return Fail(OS_ERROR_INVALID_HANDLE);
    short type = entry.descriptor_writable ? F_WRLCK : F_RDLCK;
    if (RangeLock(handle, F_OFD_SETLK, type, offset, length) != 0) {
      return Fail(errno == EAGAIN || errno == EACCES ? OS_ERROR_LOCK_VIOLATION
                                                      : OsErrorFromErrno(errno));
    }
    return 0;
  }

  int32_t UnlockRange(FileHandle handle, uint64_t offset, uint64_t length) override {
    if (!Find(handle)) return Fail(OS_ERROR_INVALID_HANDLE);
    if (RangeLock(handle, F_OFD_SETLK, F_UNLCK, offset, length) != 0) return FailErrno();
    return 0;
  }

 private:
  struct Entry {
    bool write = false;                // the caller asked for write access
    bool descriptor_writable = false;  // the descriptor is open read-write
  };

  bool Find(FileHandle handle, Entry* entry = nullptr) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = files_.find(handle);
    if (found == files_.end()) return false;
    if (entry != nullptr) *entry = found->second;
    return true;
  }

  // Opens read-write where possible. With `create`, an exclusive create tells
  // whether this call made the file.
  static int OpenDescriptor(const std::string& path, const FileOpenRequest& request,
                            bool* created) {
    constexpr int kCommon = O_CLOEXEC;
    for (;;) {
      int fd = -1;
      if (request.create) {
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | kCommon, 0666);
        if (fd >= 0) {
          *created = true;
          return fd;
        }
        if (errno != EEXIST) return -1;
      }
      fd = open(path.c_str(), O_RDWR | kCommon);
      if (fd < 0 && !request.write && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        fd = open(path.c_str(), O_RDONLY | kCommon);
      }
      // A file deleted between the exclusive create and this open: try again.
      if (fd < 0 && errno == ENOENT && request.create) continue;
      return fd;
    }
  }

  // Checks the new handle against every open one and records its own access
  // and denials. Answers 0 or 32.
  static int32_t ClaimSharing(int fd, bool writable, const FileOpenRequest& request) {
    short gate_type = writable ? F_WRLCK : F_RDLCK;
    if (RangeLock(fd, F_OFD_SETLKW, gate_type, kGateByte, 1) != 0) return OsErrorFromErrno(errno);
    bool conflict = (request.read && ByteHeldElsewhere(fd, kDeniesReadByte)) ||
                    (request.write && ByteHeldElsewhere(fd, kDeniesWriteByte)) ||
                    (!request.share_read && ByteHeldElsewhere(fd, kReadsByte)) ||
                    (!request.share_write && ByteHeldElsewhere(fd, kWritesByte));
    int32_t result = conflict ? OS_ERROR_SHARING_VIOLATION : 0;
    const std::pair<bool, uint64_t> claims[] = {{request.read, kReadsByte},
                                                {request.write, kWritesByte},
                                                {!request.share_read, kDeniesReadByte},
                                                {!request.share_write, kDeniesWriteByte}};
    for (const auto& [wanted, byte] : claims) {
      if (result != 0) break;
      if (wanted && RangeLock(fd, F_OFD_SETLK, F_RDLCK, byte, 1) != 0) {
        result = OsErrorFromErrno(errno);
      }
    }
    RangeLock(fd, F_OFD_SETLK, F_UNLCK, kGateByte, 1);
    return result;
  }

  // A new file's directory entry is made durable once.
  static void SyncDirectory(const std::string& path) {
    int dir = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    fsync(dir);
    close(dir);
  }

  std::mutex mutex_;
  std::unordered_map<int, Entry> files_;
};

FileSystem* g_current = nullptr;

}  // namespace

FileSystem& NativeFileSystem() {
  static NativeFiles* files = new NativeFiles;  // lives until the process ends
  return *files;
}

FileSystem& CurrentFileSystem() { return g_current != nullptr ? *g_current : NativeFileSystem(); }

ScopedFileSystem::ScopedFileSystem(FileSystem& replacement) : previous_(g_current) {
  g_current = &replacement;
}

ScopedFileSystem::~ScopedFileSystem() { g_current = previous_; }

}  // namespace vantrose
