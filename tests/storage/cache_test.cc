// The page cache: trimming of the clean list, changed pages kept until the
// commit, and pages read again after a drop.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/storage/page.h"
#include "tests/storage/tree_fixture.h"

namespace vantrose::testing {
namespace {

constexpr uint32_t kRecords = 600;
constexpr uint32_t kDataLength = 5000;

bool SameAs(const RecordNode* record, const RecordNodePtr& expected) {
  return record != nullptr && std::ranges::equal(record->all(), expected->all());
}

class CacheTest : public StoreTest {
 protected:
  // A committed file of a few hundred leaves, none of them cached.
  void BuildFile() {
    FileStore& store = OpenForWriting();
    for (uint32_t n = 1; n <= kRecords; ++n) Insert(store, MakeNoisyRecord(n, kDataLength));
    ASSERT_EQ(Commit(store), 0);
    store.cache.DropAll();
  }
};

TEST_F(CacheTest, TrimmingKeepsTheCleanListBetweenNineteenAndOneHundred) {
  BuildFile();
  FileStore& store = this->store();
  uint32_t most = 0;
  for (uint32_t n = 1; n <= kRecords; ++n) {
    ASSERT_TRUE(SameAs(FindExact(store, Key(n)), MakeNoisyRecord(n, kDataLength))) << n;
    most = std::max(most, store.cache.clean_count());
  }
  EXPECT_LE(most, 100u);
  EXPECT_GE(store.cache.clean_count(), 19u);
  // A page touched all the time stays while idle ones go.
  for (uint32_t round = 0; round < 300; ++round) {
    FindExact(store, Key(1));
    FindExact(store, Key(1 + round * 2));
  }
  EXPECT_NE(store.cache.Find(FindForCursor(store, Key(1)).leaf->number), nullptr);
}

TEST_F(CacheTest, ChangedPagesStayUntilTheCommitWritesThem) {
  BuildFile();
  FileStore& store = this->store();
  Cursor cursor(store);
  for (uint32_t n = 1; n <= kRecords; n += 2) {
    CursorSet(cursor, RecordNode::FromBytes(Key(n)), false);
    CursorCurrent(cursor)->mutable_data()[0] ^= 0x5A;
    CursorMarkChanged(cursor);
  }
  const uint32_t changed = store.cache.changed_count();
  EXPECT_GT(changed, 150u);
  for (uint32_t n = 2; n <= kRecords; n += 2) FindExact(store, Key(n));
  EXPECT_EQ(store.cache.changed_count(), changed);
  ASSERT_EQ(Commit(store), 0);
  EXPECT_EQ(store.cache.changed_count(), 0u);

  store.cache.DropAll();
  for (uint32_t n = 1; n <= kRecords; ++n) {
    RecordNodePtr expected = MakeNoisyRecord(n, kDataLength);
    if (n % 2 == 1) expected->mutable_data()[0] ^= 0x5A;
    ASSERT_TRUE(SameAs(FindExact(store, Key(n)), expected)) << n;
  }
  EXPECT_TRUE(Problems().empty());
}

}  // namespace
}  // namespace vantrose::testing
