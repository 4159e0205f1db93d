#include "platform/fault_injection.h"

#include <algorithm>

#include "platform/os_error.h"

namespace vantrose {

FaultInjectingFileSystem::FaultInjectingFileSystem(FileSystem& base) : base_(base) {}

FaultInjectingFileSystem::~FaultInjectingFileSystem() = default;

void FaultInjectingFileSystem::FailWrite(int n, int32_t error) {
  fail_write_at_ = writes_ + n;
  write_error_ = error;
}

void FaultInjectingFileSystem::FailFlush(int n, int32_t error) {
  fail_flush_at_ = flushes_ + n;
  flush_error_ = error;
}

void FaultInjectingFileSystem::CutPowerAfterWrites(int n, size_t torn_blocks) {
  cut_after_ = writes_ + n;
  torn_blocks_ = torn_blocks;
}

void FaultInjectingFileSystem::Reset() {
  fail_write_at_ = 0;
  fail_flush_at_ = 0;
  cut_after_ = -1;
  torn_blocks_ = 0;
  power_off_ = false;
  unflushed_.clear();
}

void FaultInjectingFileSystem::LoseUnflushedWrites() {
  power_off_ = true;
  for (auto& [path, undos] : unflushed_) {
    bool opened_here = false;
    FileHandle handle = HandleForPath(path, &opened_here);
    if (handle == kNoFile) continue;
    for (auto undo = undos.rbegin(); undo != undos.rend(); ++undo) {
      size_t done = 0;
      base_.WriteAt(handle, undo->offset, undo->old_bytes.data(), undo->old_bytes.size(), &done);
      base_.Truncate(handle, undo->old_size);
    }
    base_.Flush(handle);
    if (opened_here) base_.Close(handle);
  }
  unflushed_.clear();
}

FileHandle FaultInjectingFileSystem::HandleForPath(const std::string& path, bool* opened_here) {
  *opened_here = false;
  for (const auto& [handle, open] : handles_) {
    if (open.path == path && open.write) return handle;
  }
  FileOpenRequest request;
  request.write = true;
  FileHandle handle = kNoFile;
  if (base_.Open(path, request, &handle) != 0) return kNoFile;
  *opened_here = true;
  return handle;
}

int32_t FaultInjectingFileSystem::SaveForUndo(FileHandle handle, uint64_t offset,
                                              uint64_t length) {
  auto open = handles_.find(handle);
  if (open == handles_.end()) return OS_ERROR_INVALID_HANDLE;
  uint64_t size = 0;
  if (int32_t error = base_.FileSize(handle, &size); error != 0) return error;
  Undo undo{offset, {}, size};
  if (offset < size) {
    undo.old_bytes.resize(static_cast<size_t>(std::min(length, size - offset)));
    size_t done = 0;
    if (int32_t error = base_.ReadAt(handle, offset, undo.old_bytes.data(),
                                     undo.old_bytes.size(), &done);
        error != 0) {
      return error;
    }
    undo.old_bytes.resize(done);
  }
  unflushed_[open->second.path].push_back(std::move(undo));
  return 0;
}

int32_t FaultInjectingFileSystem::Open(const std::string& path, const FileOpenRequest& request,
                                       FileHandle* handle) {
  int32_t error = base_.Open(path, request, handle);
  if (error == 0) handles_[*handle] = OpenHandle{path, request.write};
  return error;
}

int32_t FaultInjectingFileSystem::ReadAt(FileHandle handle, uint64_t offset, void* buffer,
                                         size_t length, size_t* done) {
  return base_.ReadAt(handle, offset, buffer, length, done);
}

int32_t FaultInjectingFileSystem::WriteAt(FileHandle handle, uint64_t offset, const void* buffer,
                                          size_t length, size_t* done) {
  ++writes_;
  *done = 0;
  if (fail_write_at_ == writes_) {
    fail_write_at_ = 0;
    SetLastOsErrorNumber(write_error_);
    return write_error_;
  }
  if (!power_off_ && cut_after_ >= 0 && writes_ > cut_after_) {
    power_off_ = true;
    size_t torn = std::min(length, torn_blocks_ * 256);
    if (torn > 0) {
      if (int32_t error = SaveForUndo(handle, offset, torn); error != 0) return error;
      size_t landed = 0;
      if (int32_t error = base_.WriteAt(handle, offset, buffer, torn, &landed); error != 0) {
        return error;
      }
    }
    *done = length;
    return 0;
  }
  if (power_off_) {
    *done = length;
    return 0;
  }
  if (int32_t error = SaveForUndo(handle, offset, length); error != 0) return error;
  return base_.WriteAt(handle, offset, buffer, length, done);
}

int32_t FaultInjectingFileSystem::Truncate(FileHandle handle, uint64_t size) {
  if (power_off_) return 0;
  uint64_t old_size = 0;
  if (int32_t error = base_.FileSize(handle, &old_size); error != 0) return error;
  if (size < old_size) {
    if (int32_t error = SaveForUndo(handle, size, old_size - size); error != 0) return error;
  } else if (int32_t error = SaveForUndo(handle, old_size, 0); error != 0) {
    return error;
  }
  return base_.Truncate(handle, size);
}

int32_t FaultInjectingFileSystem::FileSize(FileHandle handle, uint64_t* size) {
  return base_.FileSize(handle, size);
}

int32_t FaultInjectingFileSystem::Flush(FileHandle handle) {
  ++flushes_;
  if (fail_flush_at_ == flushes_) {
    fail_flush_at_ = 0;
    SetLastOsErrorNumber(flush_error_);
    return flush_error_;
  }
  if (power_off_) return 0;  // nothing reaches the disk any more
  int32_t error = base_.Flush(handle);
  if (error == 0) {
    auto open = handles_.find(handle);
    if (open != handles_.end()) unflushed_.erase(open->second.path);
  }
  return error;
}

int32_t FaultInjectingFileSystem::Close(FileHandle handle) {
  handles_.erase(handle);
  return base_.Close(handle);
}

int32_t FaultInjectingFileSystem::Delete(const std::string& path) {
  unflushed_.erase(path);
  return base_.Delete(path);
}

int32_t FaultInjectingFileSystem::LockRange(FileHandle handle, uint64_t offset, uint64_t length) {
  return base_.LockRange(handle, offset, length);
}

int32_t FaultInjectingFileSystem::UnlockRange(FileHandle handle, uint64_t offset,
                                              uint64_t length) {
  return base_.UnlockRange(handle, offset, length);
}

}  // namespace vantrose
