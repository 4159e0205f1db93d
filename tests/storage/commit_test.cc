// Accesses and modes: the writer lock between stores, commits at the end of
// an access, and what an enlisted store defers.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "platform/fault_injection.h"
#include "tests/storage/tree_fixture.h"

namespace vantrose::testing {
namespace {

using CommitTest = StoreTest;

TEST_F(CommitTest, WriterModeExcludesASecondWriterUntilItLeaves) {
  FileStore& first = OpenForWriting();
  Insert(first, MakeRecord(1, 10));

  // A second handle on the file conflicts like another process.
  FileStore second;
  ASSERT_EQ(StoreOpen(second, path_, kSharedMode, ""), 0);
  ASSERT_EQ(EnterWriteMode(second), 0);
  EXPECT_EQ(StoreSync(second, false), 5);

  ASSERT_EQ(LeaveWriteMode(first), 0);
  EXPECT_EQ(first.reader_mode, LOCK_READER);
  EXPECT_EQ(StoreSync(second, false), 0);
  // The first store's change was committed when it left writer mode.
  EXPECT_TRUE(HasContent(FindExact(second, Key(1)), 1, 10));
  Insert(second, MakeRecord(2, 10));
  ASSERT_EQ(StoreClose(second), 0);

  EXPECT_EQ(AllKeys(), (std::vector<uint32_t>{1, 2}));
  EXPECT_TRUE(Problems().empty());
}

TEST_F(CommitTest, EnlistedStoreDefersItsCommitsAndStaysAWriter) {
  FileStore& store = OpenForWriting();
  Insert(store, MakeRecord(1, 10));
  store.enlisted = true;
  EXPECT_EQ(Commit(store), 0);
  EXPECT_TRUE(store.changed);
  EXPECT_EQ(LeaveWriteMode(store), 0);
  EXPECT_EQ(store.reader_mode, LOCK_WRITER);
  EXPECT_EQ(ReadBytes(path_).size(), 0u);  // nothing written yet

  store.enlisted = false;
  ASSERT_EQ(CommitPhase1(store), 0);
  EXPECT_NE(HeaderOnDisk().log_start, HeaderOnDisk().log_end);
  EXPECT_EQ(CommitPhase1(store), 0);  // already logged: waits for the second phase
  CommitPhase2(store);
  EXPECT_FALSE(store.changed);
  EXPECT_EQ(HeaderOnDisk().log_start, HeaderOnDisk().log_end);
  EXPECT_TRUE(Problems().empty());
}

// Remembers the writes made since the last flush.
class WritesBeforeFlush : public FaultInjectingFileSystem {
 public:
  int32_t WriteAt(FileHandle handle, uint64_t offset, const void* buffer, size_t length, size_t* done) override {
    unflushed.emplace_back(offset, offset + length);
    return FaultInjectingFileSystem::WriteAt(handle, offset, buffer, length, done);
  }
  int32_t Flush(FileHandle handle) override {
    ++flush_count;
    if (first_flush_writes.empty()) first_flush_writes = unflushed;
    unflushed.clear();
    return FaultInjectingFileSystem::Flush(handle);
  }
  void Restart() {
    unflushed.clear();
    first_flush_writes.clear();
    flush_count = 0;
  }
  std::vector<std::pair<uint64_t, uint64_t>> unflushed;
  std::vector<std::pair<uint64_t, uint64_t>> first_flush_writes;  // those the first flush covered
  int flush_count = 0;
};

// A sole writer (deny write) leaves the header that clears a commit's log
// marks unflushed. Its next commit must write nothing over that log before
// its first flush has put the clearing header on disk: a crash in between
// finds the marks and copies that log home again. Commits of the same shape
// would otherwise place their logs at the same offset.
TEST_F(CommitTest, SoleWriterWritesNothingOverTheLastLogBeforeItsFirstFlush) {
  WritesBeforeFlush recorder;
  std::optional<ScopedFileSystem> use(recorder);
  FileStore& store = OpenForWriting(kDenyWriteMode);
  for (uint32_t n = 1; n <= 200; ++n) Insert(store, MakeNoisyRecord(n, 300));
  ASSERT_EQ(Commit(store), 0);
  for (uint8_t version = 1; version <= 3; ++version) {
    SCOPED_TRACE(int(version));
    const uint64_t last_log_start = store.header.log_start;
    const uint64_t last_log_end = store.header.log_end;
    for (uint32_t n = 50; n <= 60; ++n) {
      Delete(store, FindExact(store, Key(n)));
      Insert(store, MakeNoisyRecord(n, 300, version));
    }
    recorder.Restart();
    ASSERT_EQ(Commit(store), 0);
    EXPECT_EQ(recorder.flush_count, 3);  // the clearing header is not flushed
    ASSERT_FALSE(recorder.first_flush_writes.empty());
    for (const auto& [start, end] : recorder.first_flush_writes) {
      EXPECT_TRUE(end <= last_log_start || start >= last_log_end)
          << "wrote [" << start << ", " << end << ") over the last log [" << last_log_start << ", "
          << last_log_end << ")";
    }
  }
  Close();
  use.reset();
  Open();
  EXPECT_TRUE(Problems().empty());
  const RecordNode* found = FindExact(this->store(), Key(55));
  const RecordNodePtr expected = MakeNoisyRecord(55, 300, 3);
  ASSERT_NE(found, nullptr);
  EXPECT_TRUE(std::ranges::equal(found->data(), expected->data()));
}

}  // namespace
}  // namespace vantrose::testing
