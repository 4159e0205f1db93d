#include "engine/table/statistics.h"

#include <gtest/gtest.h>

#include "engine/storage/cursor.h"
#include "engine/storage/page_tree.h"
#include "engine/table/record_kinds.h"
#include "record_kinds_store.h"

namespace vantrose {
namespace {

class StatisticsTest : public TableFileTest {
 protected:
  void SetUp() override {
    TableFileTest::SetUp();
    state_.table_number = 5;
    state_.keys.resize(3);
    for (uint32_t i = 0; i < 3; ++i) state_.keys[i].number = i;
    state_.keys[2].flags = KEY_DYNAMIC;  // kept in a store of its own
    state_.stats_cursor = &data_cursor_;
    CursorInit(data_cursor_, store_);
  }
  void TearDown() override {
    CursorRelease(data_cursor_);
    TableFileTest::TearDown();
  }
  bool Stored(uint8_t subject) {
    uint8_t key[kStatisticsKeyLength];
    StatisticsKey(key, 5, subject);
    return FindExact(store_, KeyBytes(key, sizeof key)) != nullptr;
  }
  Cursor data_cursor_;
};

TEST_F(StatisticsTest, FreshRecordsForDataAndFileKeys) {
  WriteFreshStatistics(state_);
  EXPECT_TRUE(Stored(kDataSubject));
  EXPECT_TRUE(Stored(0));
  EXPECT_TRUE(Stored(1));
  EXPECT_FALSE(Stored(2));
  EXPECT_EQ(ReadCount(state_, kDataSubject), 0u);
  EXPECT_EQ(FirstNotIndexed(state_, 1), 0u);
}

TEST_F(StatisticsTest, CountsFollowChanges) {
  WriteFreshStatistics(state_);
  EXPECT_EQ(AddToCount(state_, kDataSubject, 1), 1u);
  for (int i = 0; i < 999; ++i) AddToCount(state_, kDataSubject, 1);
  EXPECT_EQ(AddToCount(state_, kDataSubject, -10), 990u);
  EXPECT_EQ(ReadCount(state_, kDataSubject), 990u);
  EXPECT_EQ(SetCount(state_, 0, 42), 42u);
  EXPECT_EQ(ReadCount(state_, 0), 42u);
  EXPECT_EQ(ReadCount(state_, 1), 0u);  // each subject its own
  // Survives a commit and a reread of the pages.
  ASSERT_EQ(CommitAndDrop(store_), 0);
  ASSERT_EQ(EnterWriteMode(store_), 0);
  EXPECT_EQ(ReadCount(state_, kDataSubject), 990u);
  EXPECT_EQ(ReadCount(state_, 0), 42u);
}

TEST_F(StatisticsTest, MissingRecordCountsAsZeroAndIsNotMade) {
  EXPECT_EQ(ReadCount(state_, kDataSubject), 0u);
  EXPECT_EQ(AddToCount(state_, kDataSubject, 1), 0u);
  EXPECT_EQ(SetCount(state_, 0, 3), 0u);
  EXPECT_FALSE(Stored(kDataSubject));
  EXPECT_FALSE(Stored(0));
}

TEST_F(StatisticsTest, FirstNotIndexedTakesTheLowerNumberZeroBeingHighest) {
  // The second-word helpers make the record when it is missing.
  EXPECT_EQ(FirstNotIndexed(state_, 0), 0u);
  EXPECT_TRUE(Stored(0));
  LowerFirstNotIndexed(state_, 1, 30);
  EXPECT_TRUE(Stored(1));
  EXPECT_EQ(FirstNotIndexed(state_, 1), 30u);
  LowerFirstNotIndexed(state_, 1, 40);
  EXPECT_EQ(FirstNotIndexed(state_, 1), 30u);
  LowerFirstNotIndexed(state_, 1, 0);
  EXPECT_EQ(FirstNotIndexed(state_, 1), 30u);
  LowerFirstNotIndexed(state_, 1, 20);
  EXPECT_EQ(FirstNotIndexed(state_, 1), 20u);
  SetFirstNotIndexed(state_, 1, 0);
  EXPECT_EQ(FirstNotIndexed(state_, 1), 0u);
  SetFirstNotIndexed(state_, kDataSubject, 7);  // the FLAGS word
  EXPECT_EQ(FirstNotIndexed(state_, kDataSubject), 7u);
  EXPECT_EQ(ReadCount(state_, kDataSubject), 0u);
}

}  // namespace
}  // namespace vantrose
