// The page tree: searches, inserts with splits, deletes with frees and
// re-keyed entries, and the limits of a page.
#include <gtest/gtest.h>

#include <vector>

#include "engine/storage/page.h"
#include "tests/storage/tree_fixture.h"

namespace vantrose::testing {
namespace {

using TreeTest = StoreTest;

Page* Root(FileStore& store) { return RootPage(store); }

TEST_F(TreeTest, NewFileHoldsOnlyTheEmptyRecordAndCommitsItsRootAtPageZero) {
  FileStore& store = OpenForWriting();
  RecordNode* empty = FindExact(store, {});
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->total_length(), 0);
  EXPECT_TRUE(AllKeys().empty());
  ASSERT_EQ(Commit(store), 0);

  EXPECT_EQ(store.header.root_page, 0);
  EXPECT_EQ(store.header.zone_start[1], 0);
  EXPECT_EQ(store.header.zone_end[1], 1);
  for (int z = 2; z <= kMaxZone; ++z) {
    EXPECT_EQ(store.header.zone_start[z], 1) << z;
    EXPECT_EQ(store.header.zone_end[z], 1) << z;
  }
  EXPECT_EQ(DataEnd(store.header), 768);
  // The header's log copy stays behind the data until the file is trimmed.
  EXPECT_EQ(ReadBytes(path_).size(), 1280u);
  TrimFile(store);
  EXPECT_EQ(ReadBytes(path_).size(), 768u);
  EXPECT_TRUE(Problems().empty());
}

TEST_F(TreeTest, NewFileInReaderModeCannotMakeItsRoot) {
  FileStore& store = Open();
  EXPECT_EQ(CorruptionCode([&] { FindExact(store, Key(1)); }), 1194u);
  EXPECT_EQ(store.header.change_count, 0);
}

// Split thresholds. The root leaf also holds the empty record (5 bytes of
// estimate, one record), which the record counts below include.
struct SplitCase {
  const char* name;
  std::vector<uint32_t> lengths;  // total lengths of the records after the empty one
  bool splits;
};

std::vector<uint32_t> Repeat(size_t n, uint32_t length, std::vector<uint32_t> tail = {}) {
  std::vector<uint32_t> lengths(n, length);
  lengths.insert(lengths.end(), tail.begin(), tail.end());
  return lengths;
}

TEST_F(TreeTest, PageSplitsWhenItsEstimateOrRecordCountCrossesTheThresholds) {
  const SplitCase cases[] = {
      {"21 records of 200 bytes: 4118 > 4096 with more than 20", Repeat(20, 200), true},
      {"20 records of 200 bytes", Repeat(19, 200), false},
      {"20 records of 700 bytes: 13418, only 20 records", Repeat(19, 700), false},
      {"a 21st record of 1000 bytes", Repeat(19, 700, {1000}), true},
      {"3 records whose estimate passes 15094", Repeat(2, 7600), true},
      {"3 records just below 15094", Repeat(2, 7533), false},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(path_.c_str());
    FileStore& store = OpenForWriting();
    uint32_t n = 1;
    for (uint32_t length : c.lengths) Insert(store, MakeRecord(n++, length - 4));
    EXPECT_EQ(Root(store)->level, c.splits ? 1 : 0);
    ASSERT_EQ(Commit(store), 0);
    EXPECT_TRUE(Problems().empty());
    Close();
  }
}

TEST_F(TreeTest, LongestRecordALeafCanHoldEndsAloneAndOneByteMoreIsRefused) {
  FileStore& store = OpenForWriting();
  Insert(store, MakeRecord(1, 15076 - 4));
  Insert(store, MakeRecord(2, 100));
  const uint32_t before = store.cache.changed_count();
  EXPECT_EQ(CorruptionCode([&] { Insert(store, MakeRecord(3, 15077 - 4)); }), 1364u);
  EXPECT_EQ(store.cache.changed_count(), before);
  EXPECT_EQ(FindExact(store, Key(3)), nullptr);
  ASSERT_EQ(Commit(store), 0);
  Close();

  FileStore& reopened = Open();
  EXPECT_TRUE(HasContent(FindExact(reopened, Key(1)), 1, 15076 - 4));
  EXPECT_TRUE(HasContent(FindExact(reopened, Key(2)), 2, 100));
  EXPECT_TRUE(Problems().empty());
}

TEST_F(TreeTest, DuplicateKeyIsRefusedEvenWithOtherData) {
  FileStore& store = OpenForWriting();
  Insert(store, MakeRecord(5, 10));
  EXPECT_EQ(CorruptionCode([&] { Insert(store, MakeRecord(5, 30, 1)); }), 706u);
  EXPECT_TRUE(HasContent(FindExact(store, Key(5)), 5, 10));
  EXPECT_EQ(AllKeys(), std::vector<uint32_t>{5});
}

TEST_F(TreeTest, ChangesInReaderModeAreRefused) {
  { FileStore& store = OpenForWriting(); Insert(store, MakeRecord(1, 10)); Close(); }
  FileStore& store = Open();
  RecordNode* record = FindExact(store, Key(1));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(CorruptionCode([&] { Insert(store, MakeRecord(2, 10)); }), 1194u);
  EXPECT_EQ(CorruptionCode([&] { Delete(store, record); }), 1203u);
  EXPECT_EQ(AllKeys(), std::vector<uint32_t>{1});
}

TEST_F(TreeTest, SearchesFindNeighboursAcrossPages) {
  FileStore& store = OpenForWriting();
  for (uint32_t n = 10; n <= 2000; n += 10) Insert(store, MakeRecord(n, 900));
  ASSERT_GE(Root(store)->level, 1);
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "in memory" : "read back");
    EXPECT_TRUE(HasContent(FindExact(store, Key(1230)), 1230, 900));
    EXPECT_EQ(FindExact(store, Key(1235)), nullptr);
    EXPECT_EQ(KeyNumber(FindPrevious(store, Key(1235))), 1230u);
    EXPECT_EQ(KeyNumber(FindPrevious(store, Key(1230))), 1220u);
    EXPECT_EQ(FindPrevious(store, Key(10)), nullptr);  // only the empty record is smaller
    RecordNodePtr probe = RecordNode::FromBytes(Key(1235));
    EXPECT_EQ(KeyNumber(FindNext(store, *probe)), 1240u);
    EXPECT_EQ(FindNext(store, *FindExact(store, Key(2000))), nullptr);
    std::vector<uint32_t> expected;
    for (uint32_t n = 10; n <= 2000; n += 10) expected.push_back(n);
    EXPECT_EQ(AllKeys(), expected);
    ASSERT_EQ(Commit(store), 0);
    EXPECT_TRUE(Problems().empty());
    store.cache.DropAll();
  }
}

TEST_F(TreeTest, RootSplitKeepsTheRootNumberAndMovesItsRecordsIntoNewPages) {
  FileStore& store = OpenForWriting();
  Insert(store, MakeRecord(1, 10));
  ASSERT_EQ(Commit(store), 0);
  ASSERT_EQ(store.header.root_page, 0);
  for (uint32_t n = 2; n <= 40; ++n) Insert(store, MakeRecord(n, 300));
  Page* root = Root(store);
  EXPECT_EQ(root->number, 0);
  EXPECT_EQ(root->level, 1);
  EXPECT_GE(root->records.count(), 2u);
  ASSERT_EQ(Commit(store), 0);
  EXPECT_EQ(store.header.root_page, 0);
  EXPECT_TRUE(Problems().empty());
}

TEST_F(TreeTest, DeletingThePagesFirstRecordReKeysItsEntry) {
  FileStore& store = OpenForWriting();
  for (uint32_t n = 1; n <= 200; ++n) Insert(store, MakeRecord(n, 500));
  ASSERT_EQ(Commit(store), 0);
  // The first record of the second leaf.
  const LeafPosition second = FindForCursor(store, Key(100));
  RecordNode* first = second.leaf->records.First();
  const uint32_t first_key = KeyNumber(first);
  const uint32_t next_key = KeyNumber(RecordTree::Next(first));
  const int32_t leaf_number = second.leaf->number;
  Delete(store, first);
  EXPECT_EQ(FindExact(store, Key(first_key)), nullptr);
  // The parent's entry for that leaf now carries the leaf's new first key.
  bool found = false;
  Root(store)->records.ForEach([&](const RecordNode* entry) {
    if (entry->child_page == leaf_number) {
      found = true;
      EXPECT_EQ(KeyNumber(entry), next_key);
    }
  });
  EXPECT_TRUE(found);
  ASSERT_EQ(Commit(store), 0);
  EXPECT_TRUE(Problems().empty());
}

TEST_F(TreeTest, DeletingEveryRecordFreesEveryPageButTheRoot) {
  FileStore& store = OpenForWriting();
  for (uint32_t n = 1; n <= 300; ++n) Insert(store, MakeRecord(n, 1000));
  ASSERT_EQ(Commit(store), 0);
  const int64_t full_end = DataEnd(store.header);
  // Delete from the middle outwards, committing now and then.
  for (uint32_t i = 0; i < 300; ++i) {
    const uint32_t n = i % 2 == 0 ? 150 - i / 2 : 151 + i / 2;
    Delete(store, FindExact(store, Key(n)));
    if (i % 37 == 0) {
      ASSERT_EQ(Commit(store), 0);
      EXPECT_TRUE(Problems().empty()) << "after " << i;
    }
  }
  ASSERT_EQ(Commit(store), 0);
  EXPECT_TRUE(AllKeys().empty());
  EXPECT_TRUE(Problems().empty());
  EXPECT_LT(DataEnd(store.header), full_end);
  // What is left: the root and the one leaf that holds the empty record.
  int pages = 0;
  for (int z = 1; z <= kMaxZone; ++z) pages += (store.header.zone_end[z] - store.header.zone_start[z]) / z;
  EXPECT_LE(pages, 1 + Root(store)->level);
}

TEST_F(TreeTest, DeletingTheEmptyRecordLeavesItInPlace) {
  FileStore& store = OpenForWriting();
  Delete(store, FindExact(store, {}));
  EXPECT_NE(FindExact(store, {}), nullptr);
  Delete(store, nullptr);
}

}  // namespace
}  // namespace vantrose::testing
