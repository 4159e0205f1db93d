#include "runtime/memory_handles.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace vantrose {
namespace {

// Handle = generation (high 12 bits) | slot number + 1 (low 20 bits).
constexpr uint32_t kSlotBits = 20;
constexpr uint32_t kSlotMask = (1u << kSlotBits) - 1;
constexpr uint32_t kMaxSlots = kSlotMask;  // slot numbers 0 .. kSlotMask - 1

struct Slot {
  std::unique_ptr<uint8_t[]> data;  // at least one byte, so a lock never answers null
  uint32_t size = 0;
  uint32_t locks = 0;
  uint32_t generation = 0;          // 12 bits
  bool used = false;
};

class HandleTable {
 public:
  MemoryHandle Allocate(uint32_t size) {
    std::unique_ptr<uint8_t[]> data = NewBlock(size);
    if (data == nullptr) return 0;
    std::lock_guard<std::mutex> guard(mutex_);
    uint32_t number;
    if (!free_.empty()) {
      number = free_.back();
      free_.pop_back();
    } else {
      if (slots_.size() >= kMaxSlots) return 0;
      try {
        slots_.emplace_back();
        free_.reserve(slots_.size());  // so that freeing never allocates
      } catch (const std::bad_alloc&) {
        return 0;
      }
      number = static_cast<uint32_t>(slots_.size() - 1);
    }
    Slot& slot = slots_[number];
    slot.data = std::move(data);
    slot.size = size;
    slot.locks = 0;
    slot.used = true;
    return (slot.generation << kSlotBits) | (number + 1);
  }

  MemoryHandle Reallocate(MemoryHandle handle, uint32_t size) {
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* slot = Find(handle);
    if (slot == nullptr || slot->locks != 0) return 0;
    std::unique_ptr<uint8_t[]> data = NewBlock(size);
    if (data == nullptr) return 0;
    std::memcpy(data.get(), slot->data.get(), std::min(size, slot->size));
    slot->data = std::move(data);
    slot->size = size;
    return handle;
  }

  uint8_t* Lock(MemoryHandle handle) {
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* slot = Find(handle);
    if (slot == nullptr) return nullptr;
    ++slot->locks;
    return slot->data.get();
  }

  uint32_t Unlock(MemoryHandle handle) {
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* slot = Find(handle);
    if (slot == nullptr || slot->locks == 0) return 0;
    return --slot->locks;
  }

  MemoryHandle Free(MemoryHandle handle) {
    std::unique_ptr<uint8_t[]> data;  // released outside the lock
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* slot = Find(handle);
    if (slot == nullptr) return handle;
    data = std::move(slot->data);
    slot->used = false;
    slot->size = 0;
    slot->locks = 0;
    slot->generation = (slot->generation + 1) & ((1u << (32 - kSlotBits)) - 1);
    free_.push_back((handle & kSlotMask) - 1);
    return 0;
  }

  uint32_t Size(MemoryHandle handle) {
    std::lock_guard<std::mutex> guard(mutex_);
    Slot* slot = Find(handle);
    return slot != nullptr ? slot->size : 0;
  }

 private:
  static std::unique_ptr<uint8_t[]> NewBlock(uint32_t size) {
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size > 0 ? size : 1]());
    return data;
  }

  Slot* Find(MemoryHandle handle) {
    const uint32_t number = handle & kSlotMask;
    if (number == 0 || number > slots_.size()) return nullptr;
    Slot& slot = slots_[number - 1];
    if (!slot.used || slot.generation != handle >> kSlotBits) return nullptr;
    return &slot;
  }

  std::mutex mutex_;
  std::vector<Slot> slots_;
  std::vector<uint32_t> free_;  // slot numbers of freed blocks
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

}  // namespace

MemoryHandle AllocateMovable(uint32_t size) { return Table().Allocate(size); }
MemoryHandle ReallocateMovable(MemoryHandle handle, uint32_t size) {
  return Table().Reallocate(handle, size);
}
uint8_t* LockMovable(MemoryHandle handle) { return Table().Lock(handle); }
uint32_t UnlockMovable(MemoryHandle handle) { return Table().Unlock(handle); }
MemoryHandle FreeMovable(MemoryHandle handle) { return Table().Free(handle); }
uint32_t MovableSize(MemoryHandle handle) { return Table().Size(handle); }

}  // namespace vantrose
