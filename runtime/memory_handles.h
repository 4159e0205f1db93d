// Movable memory blocks: memory reached through a nonzero integer handle,
// so that a block can be passed between the program and the engine (BLOB
// contents) and resized without its users keeping stale addresses.
//
// A block's address is valid only between LockMovable and the matching
// UnlockMovable. A locked block cannot be resized (its address is in use);
// freeing it is allowed, since only its owner frees it. Handles of freed
// blocks are not reused soon (a generation count is part of the handle), and
// every call checks its handle, so a stale or made-up handle is refused
// instead of reaching another block.
//
// Offers: the functions below, safe to call from any thread.
// Needs: nothing.
#pragma once

#include <cstdint>

namespace vantrose {

using MemoryHandle = uint32_t;  // 0: no block

// A new block of `size` bytes, all zero; 0 when memory is short.
MemoryHandle AllocateMovable(uint32_t size);

// Resizes an unlocked block, keeping its first bytes and zeroing any new
// ones. Returns the handle, or 0 (the block unchanged) for a bad or locked
// handle or when memory is short.
MemoryHandle ReallocateMovable(MemoryHandle handle, uint32_t size);

// The block's address, counting one more lock; null for a bad handle.
uint8_t* LockMovable(MemoryHandle handle);

// Counts one lock less. Returns the locks still held (0 for a bad handle or
// a block that was not locked).
uint32_t UnlockMovable(MemoryHandle handle);

// Frees the block. Returns 0, or the handle itself when it names no block.
MemoryHandle FreeMovable(MemoryHandle handle);

// The block's size in bytes; 0 for a bad handle.
uint32_t MovableSize(MemoryHandle handle);

}  // namespace vantrose
