#include "engine/table/collation_record.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/storage/page_tree.h"
#include "engine/table/collation.h"
#include "engine/table/record_kinds.h"
#include "record_kinds_store.h"

namespace vantrose {
namespace {

class CollationRecordTest : public TableFileTest {
 protected:
  void TearDown() override {
    ReleaseCollation(state_);
    TableFileTest::TearDown();
  }
  RecordNode* Stored() {
    uint8_t key[kCollationKeyLength];
    CollationKey(key, 8);
    return FindExact(store_, KeyBytes(key, sizeof key));
  }
};

TEST_F(CollationRecordTest, StoredTablesAndFlagComeBackAtOpen) {
  state_.table_number = 8;
  state_.attributes = ATTR_OEM;
  StoreCollation(state_);
  ASSERT_NE(Stored(), nullptr);
  EXPECT_EQ(Stored()->data().size(), kCollationRecordDataSize);
  EXPECT_EQ(Stored()->data()[0], 1);
  StoreCollation(state_);  // replaces, never duplicates

  TableState opened;
  opened.store = &store_;
  opened.table_number = 8;
  ASSERT_TRUE(LoadCollation(opened, false));
  EXPECT_NE(opened.attributes & ATTR_OEM, 0);  // the file's setting wins
  ASSERT_NE(opened.collation, nullptr);
  EXPECT_EQ(std::memcmp(opened.collation, &BuiltInCollation(), kCollationTablesSize), 0);
  ReleaseCollation(opened);
}

TEST_F(CollationRecordTest, FileTablesReplaceTheBuiltInOnesAndRemoveDeletes) {
  state_.table_number = 8;
  StoreCollation(state_);
  // A file made elsewhere with other weights keeps them.
  RecordNode* record = Stored();
  record->mutable_data()[1 + 'A'] = 7;
  TableState opened;
  opened.store = &store_;
  opened.table_number = 8;
  opened.attributes = ATTR_OEM;
  ASSERT_TRUE(LoadCollation(opened, true));
  EXPECT_EQ(opened.attributes & ATTR_OEM, 0);
  EXPECT_EQ(opened.collation->ansi_weight['A'], 7);
  EXPECT_EQ(Stored(), nullptr);
  EXPECT_FALSE(LoadCollation(opened, false));
  ReleaseCollation(opened);
}

}  // namespace
}  // namespace vantrose
