#include "engine/table/run_file.h"

#include <algorithm>
#include <cstring>

namespace vantrose {

RunFile::RunFile(TempFileFactory& temp_files) : temp_files_(temp_files) {
  buffer_.reserve(kMemoryStage);
}

RunFile::~RunFile() = default;

void RunFile::Append(const void* data, size_t size) {
  if (error_ != 0 || size == 0) return;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  if (file_ == nullptr) {
    if (size_ + size <= kMemoryStage) {
      buffer_.insert(buffer_.end(), bytes, bytes + size);
      size_ += size;
      return;
    }
    MoveToDisk();
    if (error_ != 0) return;
  }
  while (size > 0) {
    const size_t take = std::min(size, kMemoryStage - buffer_.size());
    buffer_.insert(buffer_.end(), bytes, bytes + take);
    bytes += take;
    size -= take;
    size_ += take;
    if (buffer_.size() == kMemoryStage) FlushWriteBuffer();
  }
}

int32_t RunFile::ReadAt(uint64_t offset, void* data, size_t size) {
  if (error_ != 0) return error_;
  if (offset > size_ || size > size_ - offset) return kOsErrorReadPastEnd;
  if (size == 0) return 0;
  if (file_ == nullptr) {
    std::memcpy(data, buffer_.data() + offset, size);
    return 0;
  }
  FlushWriteBuffer();
  if (error_ == 0) error_ = file_->ReadAt(offset, data, size);
  return error_;
}

void RunFile::MoveToDisk() {
  error_ = temp_files_.Create(&file_);
  if (error_ != 0) return;
  // The memory stage becomes the start of the file; its buffer is kept as
  // the write buffer, now empty.
  FlushWriteBuffer();
}

void RunFile::FlushWriteBuffer() {
  if (buffer_.empty()) return;
  WriteToFile(size_ - buffer_.size(), buffer_.data(), buffer_.size());
  buffer_.clear();
}

void RunFile::WriteToFile(uint64_t offset, const uint8_t* data, size_t size) {
  if (error_ != 0) return;
  error_ = file_->WriteAt(offset, data, size);
}

}  // namespace vantrose
