// FileStore: the storage state of one open physical file, shared by every
// engine state that opened that file in this process. This file gives its
// operating-system file, its open and sharing flags, its access mode and the
// cached file header with the header sync that starts every access; the page
// cache, the commit and the zones build on it.
//
// Access protocol (shared stores only): an access begins with StoreSync,
// which takes the reader lock in reader mode or the writer lock in writer
// mode, and ends when the cache's end of access releases it. A commit takes
// the commit lock (shared or deny-write stores), which waits for every reader
// of every other process to finish its access.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "engine/storage/file_header.h"
#include "engine/storage/os_file.h"
#include "engine/storage/page_cache.h"

namespace vantrose {

class FileStore;

// What the header sync needs from the page cache above it. Installed by the
// cache; a store without one (as in tests of the header alone) has nothing
// cached and no commit log to finish.
class StoreCacheHooks {
 public:
  virtual ~StoreCacheHooks() = default;
  // Another process has committed: forget every cached page and the
  // redirect map.
  virtual void DropCache(FileStore& store) = 0;
  // The header copy just loaded marks a pending commit (log start differs
  // from log end): finish or undo it.
  virtual void RecoverLog(FileStore& store) = 0;
};

class FileStore {
 public:
  FileStore() = default;
  FileStore(const FileStore&) = delete;
  FileStore& operator=(const FileStore&) = delete;

  // --- Operating-system file, access mode and header (file_store.cc) ---

  OsFile file;
  bool shared = false;      // compatibility or deny none: byte-range locks
  bool deny_write = false;  // deny write: commit lock only
  int32_t reader_mode = 1;  // LOCK_READER or LOCK_WRITER: the access lock's kind
  bool opened = false;      // the last StoreOpen succeeded
  bool changed = false;     // a page or the header changed since the last commit
  bool synced = false;      // the access lock is held and the header copy is current
  bool commit_lock_held = false;
  FileHeader header;        // the cached header copy; loaded() once read or set up
  StoreCacheHooks* cache_hooks = nullptr;

  // --- Page cache, commit and transactions (page_cache.cc, commit.cc) ---

  // Installs the cache's hooks in cache_hooks (declared before it, so
  // constructed first).
  PageCache cache{*this};
  // Enlisted in a transaction that spans files: commits are deferred and the
  // store cannot leave writer mode. next_enlisted links the enlisted stores.
  bool enlisted = false;
  FileStore* next_enlisted = nullptr;
};

// Opens the store's file with `mode` (os_file.h), derives the shared and
// deny-write flags, starts in reader mode and syncs the header with waiting.
// Answers 0, an open error, 36 for a file whose header is short or unsigned,
// or 5 for a lock failure. On failure the file is closed.
int32_t StoreOpen(FileStore& store, std::string_view name, uint32_t mode,
                  std::string_view password);

// Brings the header copy up to date at the start of an access. Answers 0;
// 1 for a short header, a wrong signature or a damaged zone table; 5 when the
// access lock is taken by someone else (only without `wait`).
int32_t StoreSync(FileStore& store, bool wait);

// Flushes, rereads the header at offset 0, clears its log marks (both set to
// its data end), raises its change count, writes it back and flushes. The
// header copy is not touched.
void FinalizeHeader(FileStore& store);

// The next number of the file's sequence counter, big-endian as stored. Only
// in writer mode (report 1163); syncs first (report 1164); the counter stops
// below 0xFE000000 (report 1173).
std::array<uint8_t, 4> NextSequence(FileStore& store);
// Overwrites the counter of the header copy; no sync, no change mark.
void SetSequence(FileStore& store, const std::array<uint8_t, 4>& sequence);

// The zone 1..59 of a placed page, 0 for a negative number; a page number in
// no zone is report 1735.
int ZoneOf(const FileStore& store, int32_t page);

// Record locks: record number + 1 goes to the lock layer, without waiting.
int32_t LockRecord(FileStore& store, uint32_t record);
void UnlockRecord(FileStore& store, uint32_t record);

// The commit lock, for shared and deny-write stores: taken with waiting, at
// most once; released only when held.
void TakeCommitLock(FileStore& store);
void ReleaseCommitLock(FileStore& store);

// Releases the writer, reader and commit locks (held or not) and the lock of
// `record`.
void UnlockAll(FileStore& store, uint32_t record);

// Drops the store's changes and cached pages, closes its file and deletes
// it: 0 or the delete's error.
int32_t DeleteStoreFile(FileStore& store);

}  // namespace vantrose
