#include "engine/storage/file_header.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <vector>

#include "engine/storage/byte_order.h"
#include "engine/storage/file_store.h"
#include "tests/storage/os_file_test_support.h"

namespace vantrose {
namespace {

using testing::CorruptionCode;
using testing::ReadBytes;
using testing::ScratchDir;
using testing::WriteBytes;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kShared = OPEN_READ_WRITE | OPEN_DENY_NONE;
constexpr uint32_t kDenyWrite = OPEN_READ_WRITE | OPEN_DENY_WRITE;

// A header as a committed file with one root page in zone 1 holds it.
FileHeader CommittedHeader(int32_t change_count = 2) {
  FileHeader header;
  header.signature = kHeaderSignature;
  header.change_count = change_count;
  header.zone_end[1] = 1;
  for (int i = 2; i <= kMaxZone; ++i) header.zone_start[i] = header.zone_end[i] = 1;
  header.log_start = header.log_end = 768;
  return header;
}

Bytes Encoded(const FileHeader& header) {
  Bytes bytes(kHeaderSize);
  EncodeHeader(header, bytes.data());
  return bytes;
}

// Counts what the header sync asks of the cache above it.
class CountingHooks : public StoreCacheHooks {
 public:
  void DropCache(FileStore&) override { ++drops; }
  void RecoverLog(FileStore&) override { ++recoveries; }
  int drops = 0;
  int recoveries = 0;
};

// Ends an access the way the cache does: the access lock goes, the store is
// no longer synced.
void EndTestAccess(FileStore& store) {
  if (store.shared) OsUnlock(store.file, 0, store.reader_mode);
  store.synced = false;
}

TEST(FileHeaderLayout, FieldsLieAtTheirOffsets) {
  FileHeader header = CommittedHeader(0x01020304);
  header.log_start = 0x11223344;
  header.log_end = 0x55667788;
  header.sequence = {0, 0, 1, 2};
  header.root_page = -1;
  header.zone_start[59] = 0x0A0B0C0D;
  header.zone_end[3] = 49;
  Bytes bytes = Encoded(header);
  EXPECT_EQ(LoadLE32(&bytes[0]), 0u);
  EXPECT_EQ(LoadLE16(&bytes[4]), 512);
  EXPECT_EQ(LoadLE32(&bytes[6]), 0x11223344u);
  EXPECT_EQ(LoadLE32(&bytes[10]), 0x55667788u);
  EXPECT_EQ(Bytes(bytes.begin() + 14, bytes.begin() + 18), (Bytes{'v', 'A', 'n', 'T'}));
  EXPECT_EQ(LoadBE32(&bytes[20]), 0x0102u);
  EXPECT_EQ(LoadLE32(&bytes[24]), 0x01020304u);
  EXPECT_EQ(LoadLE32(&bytes[28]), 0xFFFFFFFFu);
  EXPECT_EQ(LoadLE32(&bytes[32 + 4 * 59]), 0x0A0B0C0Du);
  EXPECT_EQ(LoadLE32(&bytes[272 + 4 * 3]), 49u);
  FileHeader back = DecodeHeader(bytes.data());
  EXPECT_EQ(Encoded(back), bytes);
}

TEST(FileHeaderLayout, DataEndIsTheEndOfTheHighestNonemptyZone) {
  FileHeader header;
  EXPECT_EQ(DataEnd(header), 512);
  header = CommittedHeader();
  EXPECT_EQ(DataEnd(header), 768);
  // Zone 3 holds pages 40 to 49; the zones above start and end at 49.
  header.zone_start[3] = 40;
  header.zone_end[3] = 49;
  for (int i = 4; i <= kMaxZone; ++i) header.zone_start[i] = header.zone_end[i] = 49;
  EXPECT_EQ(DataEnd(header), 512 + 256 * 49);
  EXPECT_EQ(PageOffset(0), 512);
  EXPECT_EQ(PageOffset(49), 512 + 256 * 49);
}

TEST(FileHeaderLayout, ZoneTableInvariants) {
  EXPECT_TRUE(ZoneTableValid(FileHeader{}));
  EXPECT_TRUE(ZoneTableValid(CommittedHeader()));
  struct Case {
    const char* name;
    int zone;
    int32_t start;
    int32_t end;
  };
  const Case cases[] = {
      {"zone 0 used", 0, 0, 1},
      {"zone 1 moved", 1, 1, 1},
      {"zone ends before it starts", 2, 5, 3},
      {"zone not a whole number of pages", 3, 1, 3},
      {"zone overlaps the one below", 2, 0, 2},
      {"negative page numbers", 4, -8, -4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileHeader header = CommittedHeader();
    header.zone_start[c.zone] = c.start;
    header.zone_end[c.zone] = c.end;
    EXPECT_FALSE(ZoneTableValid(header));
  }
}

class FileStoreTest : public ::testing::Test {
 protected:
  ScratchDir dir_;
  std::string path_ = dir_.File("catalogue.crz");
};

TEST_F(FileStoreTest, OpenValidatesTheHeader) {
  FileHeader big_size = CommittedHeader();
  big_size.header_size = 1024;
  FileHeader broken_zones = CommittedHeader();
  broken_zones.zone_end[2] = 3;
  Bytes unsigned_header = Encoded(CommittedHeader());
  unsigned_header[14] = 'V';
  Bytes longer = Encoded(CommittedHeader());
  longer.resize(1280, 0xB0);
  Bytes longer_unsigned = unsigned_header;
  longer_unsigned.resize(1280, 0);
  struct Case {
    const char* name;
    Bytes contents;
    int32_t expected;
  };
  const Case cases[] = {
      {"empty file is new", {}, 0},
      {"one byte", Bytes(1, 0), 36},
      {"short header", Bytes(100, 0), 36},
      {"511 bytes", Bytes(511, 0), 36},
      {"committed file", Encoded(CommittedHeader()), 0},
      {"longer committed file", longer, 0},
      {"wrong signature", unsigned_header, 36},
      {"wrong signature in a longer file", longer_unsigned, 36},
      {"header size other than 512", Encoded(big_size), 36},
      {"broken zone table", Encoded(broken_zones), 36},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(path_, c.contents);
    FileStore store;
    EXPECT_EQ(StoreOpen(store, path_, kShared, ""), c.expected);
    EXPECT_EQ(store.opened, c.expected == 0);
    EXPECT_EQ(store.file.is_open(), c.expected == 0);
    EXPECT_EQ(store.synced, c.expected == 0);
    if (c.expected == 0) {
      EXPECT_TRUE(store.header.has_signature());
    }
  }
}

TEST_F(FileStoreTest, OpenPathsForMissingFiles) {
  FileStore missing;
  EXPECT_EQ(StoreOpen(missing, path_, kShared, ""), 2);
  EXPECT_FALSE(missing.opened);

  FileStore created;
  ASSERT_EQ(StoreOpen(created, path_, OPEN_PRIVATE_CREATE | kShared, ""), 0);
  EXPECT_TRUE(created.opened);
  EXPECT_TRUE(created.shared);
  EXPECT_EQ(created.reader_mode, LOCK_READER);
  // A new file keeps the header the store was set up with.
  EXPECT_EQ(created.header.change_count, 0);
  EXPECT_EQ(created.header.header_size, 512);
  EXPECT_TRUE(created.header.has_signature());
}

TEST_F(FileStoreTest, PasswordMustMatchForTheSignatureToRead) {
  {
    OsFile file;
    ASSERT_EQ(OsOpen(file, path_, OPEN_PRIVATE_CREATE | kShared, "abc"), 0);
    Bytes header = Encoded(CommittedHeader());
    OsWrite(file, 0, header.data(), header.size());
  }
  FileStore wrong;
  EXPECT_EQ(StoreOpen(wrong, path_, kShared, "abd"), 36);
  FileStore plain;
  EXPECT_EQ(StoreOpen(plain, path_, kShared, ""), 36);
  FileStore right;
  EXPECT_EQ(StoreOpen(right, path_, kShared, "abc"), 0);
  EXPECT_EQ(right.header.change_count, 2);
}

TEST_F(FileStoreTest, SharingFlagsFollowTheOpenMode) {
  WriteBytes(path_, Encoded(CommittedHeader()));
  struct Case {
    uint32_t mode;
    bool shared;
    bool deny_write;
  };
  for (const Case& c : {Case{OPEN_READ_WRITE | OPEN_COMPATIBILITY, true, false},
                        Case{OPEN_READ_WRITE | OPEN_DENY_NONE, true, false},
                        Case{OPEN_READ_WRITE | OPEN_DENY_WRITE, false, true},
                        Case{OPEN_READ_WRITE | OPEN_DENY_READ, false, false},
                        Case{OPEN_READ_WRITE | OPEN_DENY_ALL, false, false}}) {
    FileStore store;
    ASSERT_EQ(StoreOpen(store, path_, c.mode, ""), 0) << c.mode;
    EXPECT_EQ(store.shared, c.shared) << c.mode;
    EXPECT_EQ(store.deny_write, c.deny_write) << c.mode;
  }
}

TEST_F(FileStoreTest, SequenceNumbersStartAtOneAndStopBelowFE) {
  FileStore store;
  ASSERT_EQ(StoreOpen(store, path_, OPEN_PRIVATE_CREATE | kShared, ""), 0);
  EXPECT_EQ(CorruptionCode([&] { NextSequence(store); }), 1163u);  // reader mode
  EndTestAccess(store);
  store.reader_mode = LOCK_WRITER;
  EXPECT_EQ(NextSequence(store), (std::array<uint8_t, 4>{0, 0, 0, 1}));
  EXPECT_TRUE(store.changed);
  EXPECT_EQ(NextSequence(store), (std::array<uint8_t, 4>{0, 0, 0, 2}));

  // The carry runs from byte 23 towards byte 20.
  SetSequence(store, {0x00, 0x00, 0xFF, 0xFF});
  EXPECT_EQ(NextSequence(store), (std::array<uint8_t, 4>{0x00, 0x01, 0x00, 0x00}));

  SetSequence(store, {0xFD, 0xFF, 0xFF, 0xFE});
  EXPECT_EQ(NextSequence(store), (std::array<uint8_t, 4>{0xFD, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(CorruptionCode([&] { NextSequence(store); }), 1173u);
  // The refused number leaves the counter at the last one handed out.
  EXPECT_EQ(store.header.sequence, (std::array<uint8_t, 4>{0xFD, 0xFF, 0xFF, 0xFF}));
  // A damaged counter cannot wrap round to numbers already used.
  SetSequence(store, {0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(CorruptionCode([&] { NextSequence(store); }), 1173u);
}

TEST_F(FileStoreTest, SequenceNeedsASuccessfulSync) {
  WriteBytes(path_, Encoded(CommittedHeader()));
  FileStore store;
  ASSERT_EQ(StoreOpen(store, path_, kShared, ""), 0);
  EndTestAccess(store);
  store.reader_mode = LOCK_WRITER;
  Bytes damaged = Encoded(CommittedHeader(9));
  damaged[15] = 'x';
  WriteBytes(path_, damaged);
  EXPECT_EQ(CorruptionCode([&] { NextSequence(store); }), 1164u);
  // The failed sync holds no lock: another handle can take the writer lock.
  EXPECT_FALSE(store.synced);
  OsFile other;
  ASSERT_EQ(OsOpen(other, path_, kShared, ""), 0);
  EXPECT_EQ(OsLock(other, 0, LOCK_WRITER, false), 0);
}

TEST_F(FileStoreTest, ZoneOfAPageNumber) {
  FileStore store;
  store.header = CommittedHeader();
  store.header.zone_start[2] = 1;
  store.header.zone_end[2] = 5;
  for (int i = 3; i <= kMaxZone; ++i) store.header.zone_start[i] = store.header.zone_end[i] = 5;
  store.header.zone_start[7] = 9;
  store.header.zone_end[7] = 16;
  for (int i = 8; i <= kMaxZone; ++i) store.header.zone_start[i] = store.header.zone_end[i] = 16;
  EXPECT_EQ(ZoneOf(store, -3), 0);
  EXPECT_EQ(ZoneOf(store, 0), 1);
  EXPECT_EQ(ZoneOf(store, 1), 2);
  EXPECT_EQ(ZoneOf(store, 4), 2);
  EXPECT_EQ(ZoneOf(store, 9), 7);
  EXPECT_EQ(ZoneOf(store, 15), 7);
  for (int32_t lost : {5, 8, 16, 1000}) {
    EXPECT_EQ(CorruptionCode([&] { ZoneOf(store, lost); }), 1735u) << lost;
  }
}

TEST_F(FileStoreTest, FinalizeHeaderClearsTheLogMarksOnDiskOnly) {
  FileHeader marked = CommittedHeader(6);
  marked.log_start = 768;
  marked.log_end = 768 + 256 + 512;
  WriteBytes(path_, Encoded(marked));
  FileStore store;
  ASSERT_EQ(StoreOpen(store, path_, kDenyWrite, ""), 0);
  FileHeader cached_before = store.header;

  FinalizeHeader(store);
  FileHeader on_disk = DecodeHeader(ReadBytes(path_).data());
  EXPECT_EQ(on_disk.log_start, 768u);
  EXPECT_EQ(on_disk.log_end, 768u);
  EXPECT_EQ(on_disk.change_count, 7);
  EXPECT_EQ(Encoded(store.header), Encoded(cached_before));

  WriteBytes(path_, Bytes(100, 0));
  EXPECT_EQ(CorruptionCode([&] { FinalizeHeader(store); }), 2172u);
}

TEST_F(FileStoreTest, SharedStoreRereadsTheHeaderAfterAnotherCommit) {
  WriteBytes(path_, Encoded(CommittedHeader(2)));
  FileStore store;
  CountingHooks hooks;
  store.cache_hooks = &hooks;
  ASSERT_EQ(StoreOpen(store, path_, kShared, ""), 0);
  EXPECT_EQ(hooks.drops, 1);
  EndTestAccess(store);

  // Nobody committed: the cache stays.
  ASSERT_EQ(StoreSync(store, true), 0);
  EXPECT_EQ(hooks.drops, 1);
  EndTestAccess(store);

  // Another process committed: the header is reloaded and the cache dropped.
  FileHeader newer = CommittedHeader(4);
  newer.sequence = {0, 0, 0, 9};
  WriteBytes(path_, Encoded(newer));
  ASSERT_EQ(StoreSync(store, true), 0);
  EXPECT_EQ(hooks.drops, 2);
  EXPECT_EQ(store.header.change_count, 4);
  EXPECT_EQ(store.header.sequence[3], 9);
  EXPECT_EQ(hooks.recoveries, 0);
  EndTestAccess(store);

  // A header with log marks hands the log to the cache.
  FileHeader pending = CommittedHeader(5);
  pending.log_end = 768 + 512;
  WriteBytes(path_, Encoded(pending));
  ASSERT_EQ(StoreSync(store, true), 0);
  EXPECT_EQ(hooks.recoveries, 1);
}

TEST_F(FileStoreTest, DenyWriteStoreReadsTheHeaderOnce) {
  WriteBytes(path_, Encoded(CommittedHeader(2)));
  FileStore store;
  CountingHooks hooks;
  store.cache_hooks = &hooks;
  ASSERT_EQ(StoreOpen(store, path_, kDenyWrite, ""), 0);
  EndTestAccess(store);
  {
    // Another handle that may only read cannot change it; write the bytes
    // behind the store's back to show they are not looked at.
    WriteBytes(path_, Encoded(CommittedHeader(8)));
  }
  ASSERT_EQ(StoreSync(store, true), 0);
  EXPECT_EQ(store.header.change_count, 2);
  EXPECT_EQ(hooks.drops, 1);
  // Once the header copy is marked not loaded (as after abandoned changes),
  // the next sync rereads it.
  EndTestAccess(store);
  store.header.signature = {};
  ASSERT_EQ(StoreSync(store, true), 0);
  EXPECT_EQ(store.header.change_count, 8);
}

TEST_F(FileStoreTest, WriterLockTakenElsewhereFailsTheSyncWith5) {
  WriteBytes(path_, Encoded(CommittedHeader()));
  FileStore store;
  ASSERT_EQ(StoreOpen(store, path_, kShared, ""), 0);
  EndTestAccess(store);
  OsFile other;
  ASSERT_EQ(OsOpen(other, path_, kShared, ""), 0);
  ASSERT_EQ(OsLock(other, 0, LOCK_WRITER, false), 0);

  store.reader_mode = LOCK_WRITER;
  EXPECT_EQ(StoreSync(store, false), 5);
  EXPECT_FALSE(store.synced);
  // Readers are not kept out by a writer.
  store.reader_mode = LOCK_READER;
  EXPECT_EQ(StoreSync(store, false), 0);
  EndTestAccess(store);
  OsUnlock(other, 0, LOCK_WRITER);
  store.reader_mode = LOCK_WRITER;
  EXPECT_EQ(StoreSync(store, false), 0);
}

TEST_F(FileStoreTest, CommitLockIsTakenOnceAndReleasedOnlyWhenHeld) {
  WriteBytes(path_, Encoded(CommittedHeader()));
  FileStore store;
  ASSERT_EQ(StoreOpen(store, path_, kDenyWrite, ""), 0);
  OsFile reader;
  ASSERT_EQ(OsOpen(reader, path_, OPEN_READ_ONLY | OPEN_DENY_NONE, ""), 0);
  TakeCommitLock(store);
  TakeCommitLock(store);
  EXPECT_TRUE(store.commit_lock_held);
  EXPECT_EQ(OsLock(reader, 0, LOCK_READER, false), 33);
  ReleaseCommitLock(store);
  EXPECT_FALSE(store.commit_lock_held);
  EXPECT_EQ(OsLock(reader, 0, LOCK_READER, false), 0);
  // Not held: releasing does not touch the reader's slot.
  ReleaseCommitLock(store);
  OsFile third;
  ASSERT_EQ(OsOpen(third, path_, OPEN_READ_ONLY | OPEN_DENY_NONE, ""), 0);
  EXPECT_EQ(OsLock(third, 0, LOCK_COMMIT, false), 33);

  ASSERT_EQ(LockRecord(store, 41), 0);
  EXPECT_EQ(OsLock(reader, 42, LOCK_WRITER, false), 33);
  UnlockAll(store, 41);
  EXPECT_EQ(OsLock(reader, 42, LOCK_WRITER, false), 0);
}

TEST_F(FileStoreTest, DeleteStoreFileDropsChangesAndRemovesTheFile) {
  FileStore store;
  ASSERT_EQ(StoreOpen(store, path_, OPEN_PRIVATE_CREATE | kShared, ""), 0);
  EndTestAccess(store);
  store.reader_mode = LOCK_WRITER;
  NextSequence(store);
  ASSERT_TRUE(store.changed);
  EXPECT_EQ(DeleteStoreFile(store), 0);
  EXPECT_FALSE(store.changed);
  EXPECT_FALSE(store.file.is_open());
  EXPECT_FALSE(std::filesystem::exists(path_));
  EXPECT_EQ(DeleteStoreFile(store), 2);
}

}  // namespace
}  // namespace vantrose
