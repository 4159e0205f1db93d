// Commit and recovery: what a commit logs, what a crash after its first
// phase leaves, how readers and writers finish or drop a pending log, and
// the points where a careless commit would overwrite committed data.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

#include "engine/storage/byte_order.h"
#include "engine/storage/page.h"
#include "engine/storage/page_image.h"
#include "tests/storage/tree_fixture.h"

namespace vantrose::testing {
namespace {

class RecoveryTest : public StoreTest {
 protected:
  // The first committed state: 300 records of mixed sizes.
  void CommitFirstState(FileStore& store) {
    for (uint32_t n = 1; n <= 300; ++n) Insert(store, MakeNoisyRecord(n, n % 3 == 0 ? 1500 : 300));
    ASSERT_EQ(Commit(store), 0);
    ASSERT_EQ(ReadContents().size(), 300u);
  }
  // Changes on top of it: the highest records go (the top zone shrinks in
  // the header copy), new large ones come, some in the middle go and one
  // changes in place.
  void ChangeToSecondState(FileStore& store) {
    for (uint32_t n = 240; n <= 300; ++n) Delete(store, FindExact(store, Key(n)));
    for (uint32_t n = 1000; n <= 1040; ++n) Insert(store, MakeNoisyRecord(n, 3000, 1));
    for (uint32_t n = 50; n <= 90; n += 3) Delete(store, FindExact(store, Key(n)));
    Cursor cursor(store);
    CursorSet(cursor, RecordNode::FromBytes(Key(10)), false);
    RecordNode* record = CursorCurrent(cursor);
    record->mutable_data()[0] ^= 0xFF;
    CursorMarkChanged(cursor);
  }
};

TEST_F(RecoveryTest, FirstCommitOfANewFileLogsOnlyTheHeader) {
  FileStore& store = OpenForWriting();
  Insert(store, MakeRecord(1, 10));
  ASSERT_EQ(CommitPhase1(store), 0);
  const FileHeader marked = HeaderOnDisk();
  EXPECT_EQ(marked.log_end - marked.log_start, kHeaderSize);
  EXPECT_EQ(marked.log_start, 768u);
  CommitPhase2(store);
  const FileHeader done = HeaderOnDisk();
  EXPECT_EQ(done.log_start, done.log_end);
  EXPECT_TRUE(Problems().empty());
}

TEST_F(RecoveryTest, RewritingTheRootInPlaceLogsTheRootAndTheHeader) {
  FileStore& store = OpenForWriting();
  Insert(store, MakeRecord(1, 10));
  ASSERT_EQ(Commit(store), 0);
  Insert(store, MakeRecord(2, 10));
  ASSERT_EQ(CommitPhase1(store), 0);
  const FileHeader marked = HeaderOnDisk();
  EXPECT_EQ(marked.log_end - marked.log_start, 256u + kHeaderSize);
  // The mark sits on the old header: its count and zones are unchanged.
  EXPECT_EQ(marked.root_page, 0);
  CommitPhase2(store);
  EXPECT_EQ(HeaderOnDisk().log_start, HeaderOnDisk().log_end);
  EXPECT_TRUE(Problems().empty());
}

TEST_F(RecoveryTest, ReaderReadsThroughAPendingLogAndAWriterCopiesItHome) {
  for (uint32_t mode : {kSharedMode, kDenyWriteMode}) {
    SCOPED_TRACE(mode == kSharedMode ? "shared" : "deny write");
    std::remove(path_.c_str());
    FileStore& store = OpenForWriting(mode);
    CommitFirstState(store);
    ChangeToSecondState(store);
    const Contents second = ReadContents();
    ASSERT_EQ(CommitPhase1(store), 0);
    Crash();

    // The open syncs in reader mode: the committed state through the log,
    // and the marks stay.
    FileStore& reader = Open(mode);
    EXPECT_EQ(ReadContents(), second);
    EXPECT_NE(HeaderOnDisk().log_start, HeaderOnDisk().log_end);
    EXPECT_TRUE(Problems(/*pending_log_expected=*/true).empty());

    // In writer mode the log goes home first.
    ASSERT_EQ(EnterWriteMode(reader), 0);
    EXPECT_EQ(ReadContents(), second);
    EXPECT_EQ(HeaderOnDisk().log_start, HeaderOnDisk().log_end);
    EXPECT_TRUE(Problems().empty());
    Close();
  }
}

// A crash in the second phase leaves the marks with some logged pages home
// already. A reader still reads the committed state through the log, and the
// checker must check that state, not the old header over pages that are
// partly new.
TEST_F(RecoveryTest, CheckerSeesTheLoggedStateWhenTheCopyHomeWasCutShort) {
  FileStore& store = OpenForWriting(kDenyWriteMode);
  CommitFirstState(store);
  ChangeToSecondState(store);
  const Contents second = ReadContents();
  ASSERT_EQ(CommitPhase1(store), 0);
  Crash();
  // The first logged page goes home, as the second phase begins.
  std::vector<uint8_t> bytes = ReadBytes(path_);
  const FileHeader marked = DecodeHeader(bytes.data());
  ASSERT_NE(marked.log_start, marked.log_end);
  const uint32_t home = LoadLE32(&bytes[marked.log_start]);
  ASSERT_NE(home, 0u) << "the log holds pages";
  const size_t slot = ImageSlotSize(ImageStoredSize(&bytes[marked.log_start]));
  std::copy_n(bytes.begin() + marked.log_start, slot, bytes.begin() + home);
  WriteBytes(path_, bytes);

  Open(kDenyWriteMode);
  EXPECT_EQ(ReadContents(), second);
  const std::vector<std::string> problems = Problems(/*pending_log_expected=*/true);
  EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST_F(RecoveryTest, StoreThatReadThroughALogFinishesItBeforeItsOwnCommit) {
  for (uint32_t mode : {kSharedMode, kDenyWriteMode}) {
    SCOPED_TRACE(mode == kSharedMode ? "shared" : "deny write");
    std::remove(path_.c_str());
    FileStore& store = OpenForWriting(mode);
    CommitFirstState(store);
    ChangeToSecondState(store);
    ASSERT_EQ(CommitPhase1(store), 0);
    Crash();

    FileStore& reader = Open(mode);
    Contents expected = ReadContents();  // through the log
    ASSERT_EQ(EnterWriteMode(reader), 0);
    for (uint32_t n = 2000; n <= 2100; ++n) {
      RecordNodePtr record = MakeNoisyRecord(n, 700, 2);
      expected.emplace(Key(n), std::vector<uint8_t>(record->all().begin(), record->all().end()));
      Insert(reader, std::move(record));
    }
    ASSERT_EQ(Commit(reader), 0);
    Close();
    Open(mode);
    EXPECT_EQ(ReadContents(), expected);
    EXPECT_TRUE(Problems().empty());
    Close();
  }
}

TEST_F(RecoveryTest, LogCutShortIsDroppedAndTheStateBeforeStands) {
  FileStore& store = OpenForWriting();
  CommitFirstState(store);
  const Contents first = ReadContents();
  ChangeToSecondState(store);
  ASSERT_EQ(CommitPhase1(store), 0);
  const FileHeader marked = HeaderOnDisk();
  Crash();
  ASSERT_EQ(truncate(path_.c_str(), marked.log_end - 256), 0);

  FileStore& reopened = Open();
  EXPECT_EQ(ReadContents(), first);
  ASSERT_EQ(EnterWriteMode(reopened), 0);
  EXPECT_EQ(ReadContents(), first);
  EXPECT_EQ(HeaderOnDisk().log_start, HeaderOnDisk().log_end);
  EXPECT_TRUE(Problems().empty());
}

// Pages placed into slots that uncommitted deletes freed at the top of the
// file lie below the committed data end: they must go through the log, or
// dropping the log would leave the state before the commit overwritten.
TEST_F(RecoveryTest, DroppedLogLeavesTheCommittedStateIntactAfterTheTopZoneShrank) {
  FileStore& store = OpenForWriting();
  CommitFirstState(store);
  const Contents first = ReadContents();
  const int64_t committed_end = DataEnd(store.header);
  ChangeToSecondState(store);
  ASSERT_EQ(CommitPhase1(store), 0);
  const FileHeader marked = HeaderOnDisk();
  EXPECT_GE(marked.log_start, committed_end);
  Crash();
  // Spoil the logged header copy: the log is no longer whole.
  ASSERT_EQ(truncate(path_.c_str(), marked.log_end - kHeaderSize), 0);

  FileStore& reopened = Open();
  ASSERT_EQ(EnterWriteMode(reopened), 0);
  EXPECT_EQ(ReadContents(), first);
  EXPECT_TRUE(Problems().empty());
}

TEST_F(RecoveryTest, TrimKeepsWhatTheCommittedStateAndAPendingLogUse) {
  FileStore& store = OpenForWriting();
  CommitFirstState(store);
  const Contents first = ReadContents();
  const int64_t committed_end = DataEnd(store.header);
  // Uncommitted deletes shorten the zones of the header copy only.
  for (uint32_t n = 200; n <= 300; ++n) Delete(store, FindExact(store, Key(n)));
  TrimFile(store);
  EXPECT_GE(int64_t(ReadBytes(path_).size()), committed_end);
  Abandon(store);
  EXPECT_EQ(ReadContents(), first);
  EXPECT_TRUE(Problems().empty());

  // A pending log is not cut either.
  ChangeToSecondState(store);
  const Contents second = ReadContents();
  ASSERT_EQ(CommitPhase1(store), 0);
  const FileHeader marked = HeaderOnDisk();
  TrimFile(store);
  EXPECT_GE(ReadBytes(path_).size(), marked.log_end);
  Crash();
  Open();
  EXPECT_EQ(ReadContents(), second);
}

TEST_F(RecoveryTest, AbandonForgetsChangesAndRereadsTheHeaderEvenDenyingWrites) {
  FileStore& store = OpenForWriting(kDenyWriteMode);
  CommitFirstState(store);
  const Contents first = ReadContents();
  const FileHeader committed = store.header;
  ChangeToSecondState(store);
  NextSequence(store);
  Abandon(store);
  EXPECT_EQ(ReadContents(), first);
  EXPECT_EQ(store.header.sequence, committed.sequence);
  EXPECT_EQ(store.cache.changed_count(), 0u);
  EXPECT_TRUE(Problems().empty());
}

TEST_F(RecoveryTest, SharedStoreRereadsTheHeaderAfterItsOwnCommit) {
  FileStore& store = OpenForWriting();
  Insert(store, MakeRecord(1, 10));
  ASSERT_EQ(EndAccess(store), 0);
  EXPECT_EQ(HeaderOnDisk().change_count, store.header.change_count + 1);
  FindExact(store, Key(1));
  EXPECT_EQ(HeaderOnDisk().change_count, store.header.change_count);
}

// Marks over logs that no commit of this state wrote: the walk ends, the log
// is dropped, and the committed state stands.
TEST_F(RecoveryTest, LogsThatNoCommitWroteAreDropped) {
  FileStore& store = OpenForWriting();
  CommitFirstState(store);
  const FileHeader older = HeaderOnDisk();
  Insert(store, MakeRecord(5000, 10));
  ASSERT_EQ(Commit(store), 0);
  const Contents committed = ReadContents();
  Close();
  const std::vector<uint8_t> pristine = ReadBytes(path_);
  const FileHeader current = DecodeHeader(pristine.data());

  std::vector<uint8_t> stale(kHeaderSize);
  EncodeHeader(older, stale.data());
  std::vector<uint8_t> empty_block(kHeaderSize, 0);
  StoreLE32(empty_block.data(), 512);  // a page home offset with a stored size of 0
  const struct {
    const char* name;
    std::vector<uint8_t> log;
  } logs[] = {
      {"zeros", std::vector<uint8_t>(1024, 0)},
      {"a block of stored size 0", empty_block},
      {"the header of an older state", stale},
  };
  for (const auto& c : logs) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = pristine;
    const uint32_t log_start = uint32_t(bytes.size());
    bytes.insert(bytes.end(), c.log.begin(), c.log.end());
    FileHeader marked = current;
    marked.log_start = log_start;
    marked.log_end = log_start + uint32_t(c.log.size());
    EncodeHeader(marked, bytes.data());
    WriteBytes(path_, bytes);

    FileStore& reopened = Open(kDenyWriteMode);
    EXPECT_EQ(ReadContents(), committed);
    ASSERT_EQ(EnterWriteMode(reopened), 0);
    EXPECT_EQ(ReadContents(), committed);
    const std::vector<std::string> problems = Problems();
    EXPECT_TRUE(problems.empty()) << problems.front();
    Close();
  }
}

}  // namespace
}  // namespace vantrose::testing
