#include "engine/storage/file_store.h"

#include "engine/storage/byte_order.h"
#include "engine/storage/corruption.h"

namespace vantrose {
namespace {

constexpr uint32_t kSharingDenials = 0x30;
constexpr uint32_t kLastSequence = 0xFDFFFFFF;  // keys from 0xFE on sort after every table

// Results of StoreSync.
constexpr int32_t kSyncBadHeader = 1;
constexpr int32_t kSyncLocked = 5;
constexpr int32_t kInvalidDataFile = 36;

// Ends a sync that failed after taking its access lock, so that a failed
// sync holds nothing and the next one starts afresh.
int32_t AbandonSync(FileStore& store) {
  if (store.shared) OsUnlock(store.file, 0, store.reader_mode);
  store.synced = false;
  return kSyncBadHeader;
}

// A header that this engine could have written. Left to the implementer: the
// header size field is always written as 512 and the whole format depends on
// it (the log sizes its header copy by it), so any other value is taken as a
// damaged header rather than trusted; so is a zone table that breaks the zone
// invariants, which the zone code would otherwise walk outside the file.
bool HeaderUsable(const FileHeader& header) {
  return header.has_signature() && header.header_size == kHeaderSize && ZoneTableValid(header);
}

}  // namespace

int32_t StoreOpen(FileStore& store, std::string_view name, uint32_t mode,
                  std::string_view password) {
  store.reader_mode = LOCK_READER;
  store.shared = (mode & kSharingDenials) == 0;
  store.deny_write = (mode & kSharingDenials) == OPEN_DENY_WRITE;
  int32_t result = OsOpen(store.file, name, mode, password);
  if (result == 0) {
    int32_t sync = StoreSync(store, /*wait=*/true);
    if (sync != 0) {
      result = sync == kSyncBadHeader ? kInvalidDataFile : sync;
      OsClose(store.file);  // its locks go with the handle
      store.file.ClearWriteError();
      store.synced = false;
    }
  }
  store.opened = result == 0;
  return result;
}

int32_t StoreSync(FileStore& store, bool wait) {
  if (store.synced) return 0;
  if (store.shared && OsLock(store.file, 0, store.reader_mode, wait) != 0) return kSyncLocked;
  store.synced = true;
  // Without sharing nobody else changes the file: the header is read once.
  if (!store.shared && store.header.loaded()) return 0;

  uint8_t bytes[kHeaderSize];
  size_t got = OsRead(store.file, 0, bytes, kHeaderSize);
  if (got == 0) {
    // An empty file, as the engine-private open creates it: a new file that
    // keeps the header the store was set up with.
    store.header.signature = kHeaderSignature;
    return 0;
  }
  if (got < kHeaderSize) return AbandonSync(store);
  FileHeader stored = DecodeHeader(bytes);
  if (!HeaderUsable(stored)) return AbandonSync(store);
  // Nothing has changed since this process last looked. A pending log is
  // always looked at: its marked header keeps the count of the state before
  // the commit, so a process that crashed after marking would otherwise
  // have its standing commit overwritten by the next writer.
  if (stored.change_count <= store.header.change_count && store.header.loaded() &&
      stored.log_start == stored.log_end) {
    return 0;
  }

  if (store.cache_hooks != nullptr) store.cache_hooks->DropCache(store);
  store.header = stored;
  if (store.header.log_start == store.header.log_end) return 0;
  // A commit is in flight or was interrupted.
  if (store.cache_hooks != nullptr) store.cache_hooks->RecoverLog(store);
  return 0;
}

void FinalizeHeader(FileStore& store) {
  OsFlush(store.file);
  uint8_t bytes[kHeaderSize];
  OsReadExact(store.file, 0, bytes, kHeaderSize);
  FileHeader header = DecodeHeader(bytes);
  uint32_t data_end = static_cast<uint32_t>(DataEnd(header));
  header.log_start = data_end;
  header.log_end = data_end;
  header.change_count = static_cast<int32_t>(static_cast<uint32_t>(header.change_count) + 1);
  EncodeHeader(header, bytes);
  OsWrite(store.file, 0, bytes, kHeaderSize);
  OsFlush(store.file);
}

std::array<uint8_t, 4> NextSequence(FileStore& store) {
  if (store.reader_mode != LOCK_WRITER) ReportCorruption(1163);
  if (StoreSync(store, /*wait=*/true) != 0) ReportCorruption(1164);
  // The counter is checked before it moves, so that a refused number leaves
  // the header as it was, and a damaged counter near 2^32 cannot wrap round
  // to numbers already handed out.
  uint32_t last = LoadBE32(store.header.sequence.data());
  if (last >= kLastSequence) ReportCorruption(1173);
  store.changed = true;
  StoreBE32(store.header.sequence.data(), last + 1);
  return store.header.sequence;
}

void SetSequence(FileStore& store, const std::array<uint8_t, 4>& sequence) {
  store.header.sequence = sequence;
}

int ZoneOf(const FileStore& store, int32_t page) {
  if (page < 0) return 0;
  for (int zone = 1; zone <= kMaxZone; ++zone) {
    if (store.header.zone_start[zone] <= page && page < store.header.zone_end[zone]) return zone;
  }
  ReportCorruption(1735);
}

int32_t LockRecord(FileStore& store, uint32_t record) {
  return OsLock(store.file, record + 1, LOCK_WRITER, /*wait=*/false);
}

void UnlockRecord(FileStore& store, uint32_t record) {
  OsUnlock(store.file, record + 1, LOCK_WRITER);
}

void TakeCommitLock(FileStore& store) {
  if (store.commit_lock_held || !(store.shared || store.deny_write)) return;
  store.commit_lock_held = OsLock(store.file, 0, LOCK_COMMIT, /*wait=*/true) == 0;
}

void ReleaseCommitLock(FileStore& store) {
  if (!store.commit_lock_held) return;
  OsUnlock(store.file, 0, LOCK_COMMIT);
  store.commit_lock_held = false;
}

void UnlockAll(FileStore& store, uint32_t record) {
  OsUnlock(store.file, 0, LOCK_WRITER);
  OsUnlock(store.file, 0, LOCK_READER);
  OsUnlock(store.file, 0, LOCK_COMMIT);
  store.commit_lock_held = false;
  UnlockRecord(store, record);
}

int32_t DeleteStoreFile(FileStore& store) {
  store.cache.DropAll();
  store.changed = false;
  store.synced = false;
  store.commit_lock_held = false;  // the locks go with the handle
  return OsCloseAndDelete(store.file);
}

}  // namespace vantrose
