// Accesses and modes: the writer lock between stores, commits at the end of
// an access, and what an enlisted store defers.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vantrose::testing
