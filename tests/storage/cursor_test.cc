// Cursors: appends in key order, refresh after splits, deletes and cache
// drops, deletes through the cursor, in-place changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "engine/storage/page.h"
#include "tests/storage/tree_fixture.h"

namespace vantrose::testing {
namespace {

using CursorTest = StoreTest;

// A cursor on the record with key n (or on the empty record for n = 0).
void PositionOn(Cursor& cursor, uint32_t n) {
  CursorSet(cursor, n == 0 ? RecordNode::New(0, 0) : RecordNode::FromBytes(Key(n)), false);
}

TEST_F(CursorTest, AppendsInKeyOrderStayAttachedAndLandInOrder) {
  FileStore& store = OpenForWriting();
  Cursor cursor(store);
  PositionOn(cursor, 0);
  EXPECT_EQ(CursorCurrent(cursor), nullptr);  // the empty record answers none
  EXPECT_TRUE(cursor.attached());
  int detached = 0;
  for (uint32_t n = 1; n <= 3000; ++n) {
    CursorInsert(cursor, MakeRecord(n, 300));
    RecordNode* current = CursorCurrent(cursor);
    ASSERT_NE(current, nullptr);
    ASSERT_EQ(KeyNumber(current), n);
    if (!cursor.attached()) ++detached;
  }
  EXPECT_EQ(detached, 0);
  ASSERT_EQ(Commit(store), 0);
  EXPECT_TRUE(Problems().empty());
  Close();
  FileStore& reopened = Open();
  const std::vector<uint32_t> keys = AllKeys();
  ASSERT_EQ(keys.size(), 3000u);
  for (uint32_t n = 1; n <= 3000; ++n) ASSERT_EQ(keys[n - 1], n);
  EXPECT_TRUE(HasContent(FindExact(reopened, Key(1777)), 1777, 300));
}

// Records per leaf, leaves in key order.
std::vector<uint32_t> LeafSizes(FileStore& store) {
  std::vector<uint32_t> sizes;
  RecordNode* at = FindExact(store, {});
  while (at != nullptr) {
    const LeafPosition leaf = FindForCursor(store, at->key());
    sizes.push_back(leaf.leaf->records.count());
    at = FindNext(store, *leaf.leaf->records.Last());
  }
  return sizes;
}

// Appending in key order splits a full leaf right before the new record: the
// leaves behind the appending stay full (21 records of 300 bytes make a leaf
// full), instead of being left half empty by splits in the middle. Records of
// higher keys in the leaf where the appending starts go to a leaf of their
// own rather than ride along and take room in every leaf filled.
TEST_F(CursorTest, AppendsInKeyOrderLeaveFullLeavesBehind) {
  for (const uint32_t tail : {0u, 5u}) {
    SCOPED_TRACE(tail);
    FileStore& store = OpenForWriting();
    for (uint32_t n = 0; n < tail; ++n) Insert(store, MakeRecord(100000 + n, 300));
    Cursor cursor(store);
    PositionOn(cursor, 0);
    for (uint32_t n = 1; n <= 2000; ++n) CursorInsert(cursor, MakeRecord(n, 300));
    const std::vector<uint32_t> sizes = LeafSizes(store);
    ASSERT_GE(sizes.size(), 2u);
    // The empty record is one of the first leaf's 20; the last leaf of the
    // appending holds the rest, and the higher keys are last.
    const size_t filled = 2001 / 20;
    ASSERT_EQ(sizes.size(), filled + 1 + (tail != 0)) << ::testing::PrintToString(sizes);
    for (size_t i = 0; i < filled; ++i) EXPECT_EQ(sizes[i], 20u) << "leaf " << i;
    EXPECT_EQ(sizes[filled], 2001 % 20);
    if (tail != 0) {
      EXPECT_EQ(sizes.back(), tail);
    }
    ASSERT_EQ(Commit(store), 0);
    EXPECT_TRUE(Problems().empty());
    const std::vector<uint32_t> keys = AllKeys();
    ASSERT_EQ(keys.size(), 2000u + tail);
    Abandon(store);
    Close();
    std::filesystem::remove(path_);
  }
}

TEST_F(CursorTest, DetachedCursorInsertGoesThroughTheRoot) {
  FileStore& store = OpenForWriting();
  Cursor cursor(store);
  CursorInsert(cursor, MakeRecord(20, 10));
  CursorInsert(cursor, MakeRecord(10, 10));
  EXPECT_EQ(AllKeys(), (std::vector<uint32_t>{10, 20}));
  EXPECT_EQ(KeyNumber(CursorCurrent(cursor)), 10u);
}

TEST_F(CursorTest, CursorFindsItsRecordAgainAfterSplitsDeletesAndDrops) {
  FileStore& store = OpenForWriting();
  for (uint32_t n = 2; n <= 400; n += 2) Insert(store, MakeRecord(n, 200));
  Cursor cursor(store);
  PositionOn(cursor, 200);
  ASSERT_EQ(KeyNumber(CursorCurrent(cursor)), 200u);
  // Splits around it.
  for (uint32_t n = 1; n <= 399; n += 2) Insert(store, MakeRecord(n, 200));
  EXPECT_EQ(KeyNumber(CursorCurrent(cursor)), 200u);
  // A delete on its page.
  Delete(store, FindExact(store, Key(201)));
  EXPECT_EQ(KeyNumber(CursorCurrent(cursor)), 200u);
  // A commit and a dropped cache.
  ASSERT_EQ(Commit(store), 0);
  store.cache.DropAll();
  EXPECT_FALSE(cursor.attached());
  EXPECT_TRUE(HasContent(CursorCurrent(cursor), 200, 200));
  // Its own record deleted by someone else: the cursor answers none.
  Delete(store, FindExact(store, Key(200)));
  EXPECT_EQ(CursorCurrent(cursor), nullptr);
}

TEST_F(CursorTest, DeleteLeavesTheCursorOnThePreviousRecord) {
  FileStore& store = OpenForWriting();
  for (uint32_t n = 1; n <= 100; ++n) Insert(store, MakeRecord(n, 400));
  ASSERT_EQ(Commit(store), 0);
  const LeafPosition leaf = FindForCursor(store, Key(60));
  const uint32_t first = KeyNumber(leaf.leaf->records.First());
  ASSERT_GT(first, 1u);

  // Not the first of its page: attached on the predecessor.
  Cursor cursor(store);
  PositionOn(cursor, first + 2);
  CursorCurrent(cursor);
  CursorDelete(cursor);
  EXPECT_TRUE(cursor.attached());
  EXPECT_EQ(KeyNumber(CursorCurrent(cursor)), first + 1);

  // The first of its page: detached on the previous record's key.
  PositionOn(cursor, first);
  CursorCurrent(cursor);
  CursorDelete(cursor);
  EXPECT_FALSE(cursor.attached());
  EXPECT_EQ(KeyNumber(CursorCurrent(cursor)), first - 1);

  // The first record of the file: back on the empty record, which answers none.
  PositionOn(cursor, 1);
  CursorCurrent(cursor);
  CursorDelete(cursor);
  EXPECT_EQ(CursorCurrent(cursor), nullptr);

  ASSERT_EQ(Commit(store), 0);
  EXPECT_EQ(FindExact(store, Key(first)), nullptr);
  EXPECT_EQ(FindExact(store, Key(first + 2)), nullptr);
  EXPECT_EQ(FindExact(store, Key(1)), nullptr);
  EXPECT_EQ(AllKeys().size(), 97u);
  EXPECT_TRUE(Problems().empty());
}

TEST_F(CursorTest, SecondCursorOnADeletedRecordLosesItSafely) {
  FileStore& store = OpenForWriting();
  for (uint32_t n = 1; n <= 10; ++n) Insert(store, MakeRecord(n, 20));
  Cursor deleter(store);
  Cursor watcher(store);
  PositionOn(deleter, 5);
  PositionOn(watcher, 5);
  ASSERT_NE(CursorCurrent(deleter), nullptr);
  ASSERT_NE(CursorCurrent(watcher), nullptr);
  CursorDelete(deleter);
  EXPECT_EQ(KeyNumber(CursorCurrent(deleter)), 4u);
  EXPECT_EQ(CursorCurrent(watcher), nullptr);
}

TEST_F(CursorTest, InPlaceChangeIsCommittedAndRefusedInReaderMode) {
  {
    FileStore& store = OpenForWriting();
    Insert(store, MakeRecord(7, 50));
    ASSERT_EQ(Commit(store), 0);
    Cursor cursor(store);
    PositionOn(cursor, 7);
    RecordNode* record = CursorCurrent(cursor);
    std::span<uint8_t> data = record->mutable_data();
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(7 * 7 + i / 64 + 3);
    CursorMarkChanged(cursor);
    ASSERT_EQ(Commit(store), 0);
  }
  Close();
  FileStore& store = Open();
  Cursor cursor(store);
  PositionOn(cursor, 7);
  EXPECT_TRUE(HasContent(CursorCurrent(cursor), 7, 50, 3));
  EXPECT_EQ(CorruptionCode([&] { CursorMarkChanged(cursor); }), 337u);
  EXPECT_EQ(CorruptionCode([&] { CursorInsert(cursor, MakeRecord(8, 1)); }), 231u);
}

}  // namespace
}  // namespace vantrose::testing
