#include "runtime/memory_handles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vantrose {
namespace {

TEST(MemoryHandlesTest, BlockLivesFromAllocateToFree) {
  const MemoryHandle handle = AllocateMovable(300);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(MovableSize(handle), 300u);
  uint8_t* data = LockMovable(handle);
  ASSERT_NE(data, nullptr);
  for (int i = 0; i < 300; ++i) EXPECT_EQ(data[i], 0) << i;  // new blocks are zeroed
  std::memset(data, 0xAB, 300);
  EXPECT_EQ(UnlockMovable(handle), 0u);
  EXPECT_EQ(FreeMovable(handle), 0u);
  // The handle is dead now: every call refuses it.
  EXPECT_EQ(LockMovable(handle), nullptr);
  EXPECT_EQ(MovableSize(handle), 0u);
  EXPECT_EQ(ReallocateMovable(handle, 10), 0u);
  EXPECT_EQ(FreeMovable(handle), handle);
}

TEST(MemoryHandlesTest, ReallocateKeepsContentsAndZeroesGrowth) {
  const MemoryHandle handle = AllocateMovable(4);
  std::memcpy(LockMovable(handle), "abcd", 4);
  UnlockMovable(handle);

  ASSERT_EQ(ReallocateMovable(handle, 8), handle);
  EXPECT_EQ(MovableSize(handle), 8u);
  const uint8_t* grown = LockMovable(handle);
  EXPECT_EQ(std::memcmp(grown, "abcd\0\0\0\0", 8), 0);
  UnlockMovable(handle);

  ASSERT_EQ(ReallocateMovable(handle, 2), handle);
  EXPECT_EQ(std::memcmp(LockMovable(handle), "ab", 2), 0);
  UnlockMovable(handle);
  EXPECT_EQ(FreeMovable(handle), 0u);
}

TEST(MemoryHandlesTest, LockedBlockIsNotResizedButCanBeFreed) {
  const MemoryHandle handle = AllocateMovable(16);
  uint8_t* first = LockMovable(handle);
  EXPECT_EQ(LockMovable(handle), first);  // locks nest
  EXPECT_EQ(ReallocateMovable(handle, 32), 0u);
  EXPECT_EQ(MovableSize(handle), 16u);
  EXPECT_EQ(UnlockMovable(handle), 1u);
  EXPECT_EQ(ReallocateMovable(handle, 32), 0u);
  EXPECT_EQ(UnlockMovable(handle), 0u);
  EXPECT_EQ(UnlockMovable(handle), 0u);  // unbalanced unlock is harmless
  EXPECT_EQ(ReallocateMovable(handle, 32), handle);

  LockMovable(handle);
  EXPECT_EQ(FreeMovable(handle), 0u);
  EXPECT_EQ(LockMovable(handle), nullptr);
}

TEST(MemoryHandlesTest, EmptyBlockStillHasAnAddress) {
  const MemoryHandle handle = AllocateMovable(0);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(MovableSize(handle), 0u);
  EXPECT_NE(LockMovable(handle), nullptr);
  UnlockMovable(handle);
  EXPECT_EQ(FreeMovable(handle), 0u);
}

TEST(MemoryHandlesTest, StaleAndMadeUpHandlesNeverReachAnotherBlock) {
  const MemoryHandle old_handle = AllocateMovable(8);
  ASSERT_EQ(FreeMovable(old_handle), 0u);
  // The freed slot is reused for the next block, under a new handle.
  const MemoryHandle new_handle = AllocateMovable(8);
  ASSERT_NE(new_handle, old_handle);
  EXPECT_EQ(LockMovable(old_handle), nullptr);
  EXPECT_EQ(FreeMovable(old_handle), old_handle);
  EXPECT_EQ(MovableSize(new_handle), 8u);

  for (const MemoryHandle made_up : {0u, 0xFFFFFu, 0xFFFFFFFFu, new_handle ^ 0x100000u}) {
    EXPECT_EQ(LockMovable(made_up), nullptr) << made_up;
    EXPECT_EQ(MovableSize(made_up), 0u) << made_up;
    EXPECT_EQ(FreeMovable(made_up), made_up) << made_up;
  }
  EXPECT_EQ(FreeMovable(new_handle), 0u);
}

TEST(MemoryHandlesTest, ManyBlocksAreDistinct) {
  std::vector<MemoryHandle> handles;
  for (uint32_t i = 0; i < 1000; ++i) {
    handles.push_back(AllocateMovable(4));
    std::memcpy(LockMovable(handles.back()), &i, 4);
    UnlockMovable(handles.back());
  }
  for (uint32_t i = 0; i < 1000; ++i) {
    uint32_t value;
    std::memcpy(&value, LockMovable(handles[i]), 4);
    UnlockMovable(handles[i]);
    EXPECT_EQ(value, i);
  }
  for (const MemoryHandle handle : handles) EXPECT_EQ(FreeMovable(handle), 0u);
}

}  // namespace
}  // namespace vantrose
