#include "engine/storage/commit.h"

#include <algorithm>
#include <vector>

#include "engine/storage/byte_order.h"
#include "engine/storage/coalesced_writes.h"
#include "engine/storage/corruption.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_image.h"
#include "engine/storage/zones.h"

namespace vantrose {

namespace {

// Check code: the sync before trimming the file failed.
constexpr uint32_t kCheckSyncBeforeTrim = 1143;

// The header of a file that has no page tree yet.
FileHeader FreshHeader() {
  FileHeader header;
  header.signature = kHeaderSignature;
  return header;
}

void WriteHeader(FileStore& store, uint64_t offset, const FileHeader& header) {
  uint8_t bytes[kHeaderSize];
  EncodeHeader(header, bytes);
  OsWrite(store.file, offset, bytes, kHeaderSize);
}

// The header at offset 0 as it stands on disk: the state a reader would
// see. False when the file holds no usable header (a new file).
bool ReadHeaderOnDisk(FileStore& store, FileHeader* header) {
  uint8_t bytes[kHeaderSize];
  if (OsRead(store.file, 0, bytes, kHeaderSize) != kHeaderSize) return false;
  *header = DecodeHeader(bytes);
  return header->has_signature() && header->header_size == kHeaderSize && ZoneTableValid(*header);
}

// Where the blocks of the committed state (and a pending log) end.
int64_t CommittedEnd(const FileHeader& on_disk) {
  int64_t end = DataEnd(on_disk);
  if (on_disk.log_start != on_disk.log_end) end = std::max<int64_t>(end, on_disk.log_end);
  return end;
}

// Forgets the header copy so that the next sync reads it afresh (even in a
// store that is not shared, which otherwise reads it once).
void ForgetHeader(FileStore& store) { store.header = FileHeader(); }

std::vector<uint8_t> BuildPageImage(const Page& page) {
  std::vector<RecordView> views;
  views.reserve(page.records.count());
  page.records.ForEach([&](const RecordNode* node) {
    views.push_back({node->bytes(), node->total_length(), node->key_length()});
  });
  return BuildImage(views, page.level, page.estimate);
}

// Gives every changed page its image and a slot in the zone of its size.
// Pages that placing moves join the end of the list and are visited too:
// their images were not built yet, and an image built afresh from a page
// another program wrote need not have the size of its old slot.
void PlaceChangedPages(FileStore& store) {
  for (Page* page = store.cache.OldestChanged(); page != nullptr; page = page->newer) {
    if (page->image.empty()) page->image = BuildPageImage(*page);
    PlacePage(store, *page, int(page->image.size() / kBlockSize));
  }
}

// One block of a pending log: where it lies and where it belongs.
struct LogBlock {
  uint32_t home;
  uint32_t position;
  uint32_t size;
};

// Walks the log that the header copy marks. False when the log is broken:
// cut short, a block that no commit writes, or not ending in its header.
bool WalkLog(FileStore& store, std::vector<LogBlock>* blocks) {
  const FileHeader& marked = store.header;
  if (marked.log_start > marked.log_end || marked.log_start < kHeaderSize) return false;
  uint8_t head[kHeaderSize];
  for (uint64_t position = marked.log_start; position < marked.log_end;) {
    if (OsRead(store.file, position, head, kHeaderSize) != kHeaderSize) return false;
    const uint32_t home = LoadLE32(head);
    uint32_t size;
    if (home == 0) {
      // The header is always 512 bytes, whatever its size field says.
      size = kHeaderSize;
    } else {
      const uint16_t stored = ImageStoredSize(head);
      if (home < kHeaderSize || (home - kHeaderSize) % kBlockSize != 0) return false;
      if (stored < kPageHeaderSize || stored > kMaxImageSize) return false;
      size = uint32_t(ImageSlotSize(stored));
    }
    if (position + size > marked.log_end) return false;
    blocks->push_back({home, uint32_t(position), size});
    position += size;
  }
  return !blocks->empty() && blocks->back().home == 0 &&
         blocks->back().position + kHeaderSize == marked.log_end;
}

// The new header at the end of a whole log, if it is one that this log's
// commit wrote: signed, a sound zone table, and not older than the marked
// header (a stale log left from an earlier commit carries a lower count).
bool ReadLoggedHeader(FileStore& store, const LogBlock& block, FileHeader* header) {
  uint8_t bytes[kHeaderSize];
  if (OsRead(store.file, block.position, bytes, kHeaderSize) != kHeaderSize) return false;
  *header = DecodeHeader(bytes);
  return header->has_signature() && header->header_size == kHeaderSize && ZoneTableValid(*header) &&
         header->change_count >= store.header.change_count;
}

// Copies every logged block home, then clears the marks.
void CopyLogHome(FileStore& store, const std::vector<LogBlock>& blocks) {
  std::vector<uint8_t> buffer(kMaxImageSize);
  for (const LogBlock& block : blocks) {
    OsReadExact(store.file, block.position, buffer.data(), block.size);
    OsWrite(store.file, block.home, buffer.data(), block.size);
  }
}

// FinalizeHeader under the writer lock that a deny-write store takes for a
// recovery, and the header copy brought to what is now on disk.
void FinalizeRecovery(FileStore& store, const std::vector<LogBlock>* home_copy) {
  const bool lock = store.deny_write;
  if (lock) OsLock(store.file, 0, LOCK_WRITER, true);
  if (home_copy != nullptr) CopyLogHome(store, *home_copy);
  FinalizeHeader(store);
  if (lock) OsUnlock(store.file, 0, LOCK_WRITER);
  uint8_t bytes[kHeaderSize];
  OsReadExact(store.file, 0, bytes, kHeaderSize);
  store.header = DecodeHeader(bytes);
}

int PhaseOne(FileStore& store) {
  PageCache& cache = store.cache;
  TakeCommitLock(store);
  store.file.ClearWriteError();

  // The committed state is the one on disk. Its data end, not only that of
  // the header copy (which deletes may have shortened), bounds the blocks
  // that may be written directly; its header, not the header copy (which
  // holds uncommitted zones), is the one marked with the log.
  FileHeader committed;
  if (!ReadHeaderOnDisk(store, &committed)) {
    // A new file: a valid header goes to disk before any page, so that a
    // crash leaves a file that opens as new, never a header region of zeros.
    committed = FreshHeader();
    WriteHeader(store, 0, committed);
    int error = store.file.write_error();
    if (error == 0) error = OsFlushChecked(store.file);
    if (error != 0) return error;
  }
  const int64_t old_data_end = std::max(DataEnd(store.header), CommittedEnd(committed));

  // Pass A: images and places; then compaction, after which pages it moved
  // are placed as well (a no-op for pages of this engine).
  PlaceChangedPages(store);
  CompactZones(store);
  PlaceChangedPages(store);

  const uint32_t log_start = uint32_t(std::max(DataEnd(store.header), old_data_end));
  uint32_t log_end = log_start;
  store.header.change_count += 1;

  // Pass B: pages below the old data end go to the log; the others are
  // written home at once (they overwrite nothing that anyone reads).
  CoalescedWrites log_writes(store.file);
  CoalescedWrites home_writes(store.file);
  for (Page* page = cache.OldestChanged(); page != nullptr;) {
    Page* next = page->newer;
    uint8_t* image = page->image.data();
    if (page->level > 0) {
      size_t index = 0;
      page->records.ForEach([&](const RecordNode* node) { SetImageChild(image, index++, node->child_page); });
    }
    const uint32_t home = uint32_t(PageOffset(page->number));
    SetImageHomeOffset(image, home);
    if (home < old_data_end) {
      log_writes.Write(log_end, image, page->image.size());
      log_end += uint32_t(page->image.size());
    } else {
      home_writes.Write(home, image, page->image.size());
      cache.MarkClean(*page);
    }
    page = next;
  }
  // The new header is the last block of the log.
  store.header.log_start = log_start;
  store.header.log_end = log_end + uint32_t(kHeaderSize);
  uint8_t header_bytes[kHeaderSize];
  EncodeHeader(store.header, header_bytes);
  log_writes.Write(log_end, header_bytes, kHeaderSize);
  log_end += uint32_t(kHeaderSize);
  log_writes.Flush();
  home_writes.Flush();

  int error = store.file.write_error();
  if (error == 0) error = OsFlushChecked(store.file);
  if (error != 0) return error;

  // The mark: from here on the commit stands.
  FileHeader marked = committed;
  marked.log_start = log_start;
  marked.log_end = log_end;
  WriteHeader(store, 0, marked);
  error = store.file.write_error();
  if (error == 0) error = OsFlushChecked(store.file);
  if (error != 0) {
    // Whether the mark reached the disk is unknown: put the unmarked header
    // back so that the commit that reports failure is not later rolled
    // forward.
    store.file.ClearWriteError();
    WriteHeader(store, 0, committed);
    OsFlush(store.file);
    return error;
  }
  cache.home_copy_pending = true;
  return 0;
}

}  // namespace

int CommitPhase1(FileStore& store) {
  // A log already written and marked waits for its second phase.
  if (store.enlisted || !store.changed || store.cache.home_copy_pending) return 0;
  if (!store.opened) {
    const int error = store.file.write_error();
    Abandon(store);
    return error;
  }
  int result;
  try {
    result = PhaseOne(store);
  } catch (const CorruptionUnwind&) {
    // Placing pages found damage: nothing was marked, the file stands as
    // committed; the store forgets the half-placed changes.
    Abandon(store);
    throw;
  }
  if (result != 0) Abandon(store);
  return result;
}

void CommitPhase2(FileStore& store) {
  PageCache& cache = store.cache;
  if (!cache.home_copy_pending) return;
  bool unsure = false;
  try {
    // Pass C: the logged pages go home, in the order of their places so
    // that neighbouring slots are written together.
    std::vector<Page*> logged;
    logged.reserve(cache.changed_count());
    for (Page* page = cache.OldestChanged(); page != nullptr; page = page->newer) logged.push_back(page);
    std::sort(logged.begin(), logged.end(), [](const Page* a, const Page* b) { return a->number < b->number; });
    CoalescedWrites home_writes(store.file);
    for (Page* page : logged) {
      home_writes.Write(uint32_t(PageOffset(page->number)), page->image.data(), page->image.size());
      cache.MarkClean(*page);
    }
    home_writes.Flush();
    WriteHeader(store, 0, store.header);
    FinalizeHeader(store);
    unsure = store.file.write_error() != 0;
  } catch (const CorruptionUnwind&) {
    // A read that failed while finalizing leaves the marks on disk: the next
    // sync finishes the log, or reports what it finds there.
    unsure = true;
  }
  cache.home_copy_pending = false;
  cache.RestartTemporaryNumbers();
  ReleaseCommitLock(store);
  store.changed = false;
  if (unsure) {
    // The log on disk is whole and marked, so the commit stands; the next
    // sync (which now rereads the header) copies it home.
    cache.DropAll();
    ForgetHeader(store);
  }
}

int Commit(FileStore& store) {
  const int result = CommitPhase1(store);
  if (result == 0) CommitPhase2(store);
  return result;
}

int CommitAndDrop(FileStore& store) {
  const int result = Commit(store);
  store.cache.DropAll();
  return result;
}

void Abandon(FileStore& store) {
  if (store.changed) {
    store.changed = false;
    ForgetHeader(store);
    CommitAndDrop(store);
    EndAccess(store);
  }
  store.cache.home_copy_pending = false;
  ReleaseCommitLock(store);
}

int EndAccess(FileStore& store) {
  const int result = Commit(store);
  if (store.synced) {
    store.synced = false;
    if (store.shared) OsUnlock(store.file, 0, store.reader_mode);
  }
  return result;
}

int EnterWriteMode(FileStore& store) {
  int result = 0;
  if (store.reader_mode == LOCK_READER) result = EndAccess(store);
  store.reader_mode = LOCK_WRITER;
  if (store.cache.pending_log_read) {
    // This store has been reading past a pending log. Its next sync rereads
    // the marked header and, now in writer mode, copies that log home (or
    // drops a broken one) before anything changes; otherwise its own commit
    // could put a log over blocks that hold the only current copy of a page.
    store.cache.DropAll();
    ForgetHeader(store);
  }
  return result;
}

int LeaveWriteMode(FileStore& store) {
  if (store.enlisted) return 0;
  const int result = EndAccess(store);
  store.reader_mode = LOCK_READER;
  return result;
}

int StoreClose(FileStore& store) {
  int result = EndAccess(store);
  const int dropped = CommitAndDrop(store);
  if (result == 0) result = dropped;
  ReleaseCommitLock(store);
  OsClose(store.file);
  store.opened = false;
  return result;
}

void RecoverLog(FileStore& store) {
  PageCache& cache = store.cache;
  std::vector<LogBlock> blocks;
  FileHeader logged;
  const bool whole = WalkLog(store, &blocks) && ReadLoggedHeader(store, blocks.back(), &logged);
  cache.DropAll();
  if (!whole) {
    // A broken log is dropped: the state before that commit stands. The
    // header copy (the marked old header) already describes it.
    if (store.reader_mode == LOCK_WRITER) {
      FinalizeRecovery(store, nullptr);
    } else {
      cache.pending_log_read = true;
    }
    return;
  }
  if (store.reader_mode == LOCK_READER) {
    cache.pending_log_read = true;
    // Read the committed state through the log without writing; a home
    // offset logged twice is read from its later copy.
    for (const LogBlock& block : blocks) {
      if (block.home != 0) cache.Redirect(block.home, block.position);
    }
    store.header = logged;
    return;
  }
  FinalizeRecovery(store, &blocks);
}

void TrimFile(FileStore& store) {
  if (store.enlisted) return;
  if (StoreSync(store, true) != 0) ReportCorruption(kCheckSyncBeforeTrim);
  // Never below what the committed state (or a pending log) still uses,
  // even when uncommitted deletes have shortened the zones of the copy.
  // A file without a header on disk (a new one) is left as it is.
  FileHeader on_disk;
  if (!ReadHeaderOnDisk(store, &on_disk)) return;
  const int64_t end = std::max(DataEnd(store.header), CommittedEnd(on_disk));
  OsTruncate(store.file, uint64_t(end));
}

}  // namespace vantrose
