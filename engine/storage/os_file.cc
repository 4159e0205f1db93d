#include "engine/storage/os_file.h"

#include <limits>

#include "engine/storage/corruption.h"
#include "platform/clock.h"
#include "platform/os_error.h"

namespace vantrose {
namespace {

// The file system request for an open mode word.
FileOpenRequest RequestFor(uint32_t mode) {
  FileOpenRequest request;
  uint32_t access = mode & OPEN_ACCESS_MASK;
  if (mode & OPEN_PRIVATE_CREATE) {
    // Engine-private open: read, or read and write; sharing from the two
    // denial bits only (deny none counts as compatibility).
    request.read = true;
    request.write = access == OPEN_WRITE_ONLY || access == OPEN_READ_WRITE;
    uint32_t sharing = mode & 0x30;
    request.share_read = sharing == 0 || sharing == OPEN_DENY_WRITE;
    request.share_write = sharing == 0;
    request.create = true;
    return request;
  }
  request.read = access != OPEN_WRITE_ONLY;
  request.write = access == OPEN_WRITE_ONLY || access == OPEN_READ_WRITE;
  switch (mode & OPEN_SHARE_MASK) {
    case OPEN_COMPATIBILITY:
    case OPEN_DENY_NONE:
      request.share_read = request.share_write = true;
      break;
    case OPEN_DENY_WRITE:
      request.share_read = true;
      request.share_write = false;
      break;
    case OPEN_DENY_READ:
      request.share_read = false;
      request.share_write = true;
      break;
    default:  // deny all and undefined sharing values
      request.share_read = request.share_write = false;
      break;
  }
  return request;
}

// The lock range of a record or lock kind, as offset and length.
struct LockRange {
  uint32_t offset;  // 2^31 + n, computed in 32 bits
  uint32_t length;
};

LockRange RangeFor(uint32_t record, int32_t kind, uint32_t reader_slot) {
  if (record != 0) return {kLockAreaBase + kRecordLockBase + record, 1};
  switch (kind) {
    case LOCK_READER: return {kLockAreaBase + reader_slot, 1};
    case LOCK_COMMIT: return {kLockAreaBase, kReaderSlots};
    default: return {kLockAreaBase + kWriterLockByte, 1};
  }
}

bool TransferInRange(uint64_t offset, size_t length) {
  constexpr uint64_t kLimit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  return offset <= kLimit && length <= kLimit - offset;
}

}  // namespace

OsFile::OsFile()
    : fs_(nullptr),
      handle_(kNoFile),
      write_error_(0),
      reader_slot_(ClockHundredths() % kReaderSlots) {}

OsFile::~OsFile() { OsClose(*this); }

int32_t OsOpen(OsFile& file, std::string_view name, uint32_t mode, std::string_view password) {
  OsClose(file);
  file.name_.assign(name);
  SetLastOsErrorNumber(0);
  file.fs_ = &CurrentFileSystem();
  FileHandle handle = kNoFile;
  int32_t error = file.fs_->Open(file.name_, RequestFor(mode), &handle);
  if (error != 0) {
    if (error == OS_ERROR_SHARING_VIOLATION) return OS_ERROR_ACCESS_DENIED;
    if (mode & OPEN_PRIVATE_CREATE) return error;
    if (error == OS_ERROR_BAD_PATHNAME) return OS_ERROR_PATH_NOT_FOUND;
    if (error == OS_ERROR_INVALID_NAME) return 45;  // "Invalid Filename"
    return error;
  }
  file.handle_ = handle;
  password = password.substr(0, password.find('\0'));
  if (!password.empty()) file.cipher_ = std::make_unique<BlockCipher>(password);
  return 0;
}

size_t OsRead(OsFile& file, uint64_t offset, void* buffer, size_t length) {
  if (length % kCipherBlockSize != 0) ReportCorruption(2272);
  if (!file.is_open() || length == 0) return 0;
  if (!TransferInRange(offset, length)) ReportCorruption(2341);
  size_t done = 0;
  if (file.fs_->ReadAt(file.handle_, offset, buffer, length, &done) != 0) ReportCorruption(2277);
  if (done == length && file.cipher_ != nullptr) file.cipher_->Decrypt(buffer, length);
  return done;
}

void OsReadExact(OsFile& file, uint64_t offset, void* buffer, size_t length) {
  if (OsRead(file, offset, buffer, length) != length) ReportCorruption(2172);
}

void OsWrite(OsFile& file, uint64_t offset, void* buffer, size_t length) {
  if (length % kCipherBlockSize != 0) ReportCorruption(2286);
  if (!file.is_open() || file.write_error_ != 0 || length == 0) return;
  if (!TransferInRange(offset, length)) {
    file.write_error_ = OS_ERROR_INVALID_PARAMETER;
    return;
  }
  if (file.cipher_ != nullptr) file.cipher_->Encrypt(buffer, length);
  size_t done = 0;
  int32_t error = file.fs_->WriteAt(file.handle_, offset, buffer, length, &done);
  if (file.cipher_ != nullptr) file.cipher_->Decrypt(buffer, length);
  if (error != 0) {
    file.write_error_ = error;
  } else if (done != length) {
    file.write_error_ = OS_ERROR_ACCESS_DENIED;
  }
}

// Flush, truncate and close report nothing, so they leave no error number
// behind for a later error report to pick up.
void OsFlush(OsFile& file) {
  if (file.is_open()) file.fs_->Flush(file.handle_);
  SetLastOsErrorNumber(0);
}

int32_t OsFlushChecked(OsFile& file) {
  return file.is_open() ? file.fs_->Flush(file.handle_) : 0;
}

void OsTruncate(OsFile& file, uint64_t offset) {
  if (file.is_open()) file.fs_->Truncate(file.handle_, offset);
  SetLastOsErrorNumber(0);
}

void OsClose(OsFile& file) {
  if (file.is_open()) {
    file.fs_->Close(file.handle_);
    file.handle_ = kNoFile;
  }
  file.cipher_.reset();
  file.name_.clear();
  SetLastOsErrorNumber(0);
}

int32_t OsCloseAndDelete(OsFile& file) {
  FileSystem& fs = file.fs_ != nullptr ? *file.fs_ : CurrentFileSystem();
  if (file.is_open()) {
    fs.Close(file.handle_);
    file.handle_ = kNoFile;
  }
  SetLastOsErrorNumber(0);
  return fs.Delete(file.name_);
}

int32_t OsLock(OsFile& file, uint32_t record, int32_t kind, bool wait) {
  if (record != 0 && kind != LOCK_WRITER) ReportCorruption(2328);
  if (!file.is_open()) return 0;
  // A waiting lock retries without a limit, but pauses a millisecond between
  // rounds instead of spinning, so that it does not take the processor from
  // the process it waits for (on a busy machine a pure spin can starve the
  // very holder it waits on). A reader first walks on through the slots
  // without pausing.
  uint32_t failures = 0;
  for (;;) {
    LockRange range = RangeFor(record, kind, file.reader_slot_);
    int32_t error = file.fs_->LockRange(file.handle_, range.offset, range.length);
    if (error == 0) return 0;
    bool reader = record == 0 && kind == LOCK_READER;
    if (reader) file.reader_slot_ = (file.reader_slot_ + 1) % kReaderSlots;
    // Only a range taken by someone else is worth waiting for; any other
    // failure would repeat for ever.
    if (!wait || error != OS_ERROR_LOCK_VIOLATION) return error;
    ++failures;
    if (!reader || failures % kReaderSlots == 0) WaitMilliseconds(1);
  }
}

void OsUnlock(OsFile& file, uint32_t record, int32_t kind) {
  if (record != 0 && kind != LOCK_WRITER) ReportCorruption(2352);
  if (!file.is_open()) return;
  LockRange range = RangeFor(record, kind, file.reader_slot_);
  file.fs_->UnlockRange(file.handle_, range.offset, range.length);
}

}  // namespace vantrose
