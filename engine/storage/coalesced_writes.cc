#include "engine/storage/coalesced_writes.h"

#include "engine/storage/os_file.h"

namespace vantrose {

void CoalescedWrites::Write(uint64_t offset, const uint8_t* bytes, size_t length) {
  if (!pending_.empty() && (offset != start_ + pending_.size() || pending_.size() + length > kRunLimit)) {
    Flush();
  }
  if (pending_.empty()) start_ = offset;
  pending_.insert(pending_.end(), bytes, bytes + length);
}

void CoalescedWrites::Flush() {
  if (pending_.empty()) return;
  OsWrite(file_, start_, pending_.data(), pending_.size());
  pending_.clear();
}

}  // namespace vantrose
