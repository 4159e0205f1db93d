#include <gtest/gtest.h>

#include "tests/front/open_fixture.h"

namespace vantrose {
namespace {

using CreateTest = TableOperationsTest;

TEST_F(CreateTest, CreatingOneOfTwoTablesLeavesTheOther) {
  NamedFile a("F\\!A");
  NamedFile b("F\\!b");  // stored and found in upper case
  ASSERT_EQ(Create(a), 0);
  ASSERT_EQ(Create(b), 0);
  ASSERT_EQ(Open(a), 0);
  AddRecords(a, 3);
  uint32_t old_a = a.file.state->table_number;
  ASSERT_EQ(Close(a), 0);
  NamedFile b_upper("F\\!B");
  ASSERT_EQ(Open(b_upper), 0);
  AddRecords(b_upper, 2);
  uint32_t table_b = b_upper.file.state->table_number;
  std::vector<uint32_t> records_b = RecordNumbers(b_upper);
  ASSERT_EQ(Close(b_upper), 0);

  ASSERT_EQ(Create(a), 0);
  ASSERT_EQ(Open(a), 0);
  EXPECT_GT(a.file.state->table_number, old_a);
  EXPECT_TRUE(RecordNumbers(a).empty());
  EXPECT_EQ(ReadCount(*a.file.state, kDataSubject), 0u);
  // Nothing of the old table number is left.
  uint8_t end[4];
  StoreBE32(end, old_a + 1);
  RecordNode* before = FindPrevious(*a.file.state->store, KeyBytes(end, 4));
  EXPECT_TRUE(before == nullptr || KeyTable(before->bytes()) != old_a);
  ASSERT_EQ(Close(a), 0);

  ASSERT_EQ(Open(b_upper), 0);
  EXPECT_EQ(b_upper.file.state->table_number, table_b);
  EXPECT_EQ(RecordNumbers(b_upper), records_b);
  EXPECT_EQ(ReadCount(*b_upper.file.state, kDataSubject), 2u);
  Close(b_upper);
}

TEST_F(CreateTest, AFileWithoutTablePartHoldsOneUnnamedTable) {
  NamedFile t("DATA");
  ASSERT_EQ(Create(t), 0);
  ASSERT_EQ(Create(t), 0);  // made again: still one table
  ASSERT_EQ(Open(t), 0);
  FileStore& store = *t.file.state->store;
  const uint8_t names[1] = {KIND_TABLE_NAME};
  std::vector<std::string> found;
  for (RecordNode* r = FindNext(store, *RecordNode::FromBytes(KeyBytes(names, 1))); r != nullptr;
       r = FindNext(store, *r)) {
    found.emplace_back(reinterpret_cast<const char*>(r->bytes()) + 1, r->key_length() - 1);
  }
  EXPECT_EQ(found, std::vector<std::string>{"UNNAMED"});
  // Every other record belongs to the table.
  const uint8_t start[1] = {0};
  for (RecordNode* r = FindNext(store, *RecordNode::FromBytes(KeyBytes(start, 1)));
       r != nullptr && r->bytes()[0] != KIND_TABLE_NAME; r = FindNext(store, *r)) {
    EXPECT_EQ(KeyTable(r->bytes()), t.file.state->table_number);
  }
  Close(t);
}

TEST_F(CreateTest, NumbersContinueAcrossTables) {
  NamedFile a("N\\!A");
  NamedFile b("N\\!B");
  ASSERT_EQ(Create(a), 0);
  ASSERT_EQ(Create(b), 0);
  ASSERT_EQ(Open(a), 0);
  ASSERT_EQ(Open(b), 0);
  uint32_t table_a = a.file.state->table_number;
  uint32_t table_b = b.file.state->table_number;
  EXPECT_EQ(table_b, table_a + 1);
  AddRecords(a, 1);
  AddRecords(b, 1);
  EXPECT_EQ(RecordNumbers(a), std::vector<uint32_t>{table_b + 1});
  EXPECT_EQ(RecordNumbers(b), std::vector<uint32_t>{table_b + 2});
  Close(a);
  Close(b);
}

TEST_F(CreateTest, CreateNeedsTheAttributeAndAWritableDirectory) {
  NamedFile plain("P");
  plain.file.attributes = 0;
  EXPECT_EQ(Create(plain), 54);
  EXPECT_FALSE(Exists("P.VNT"));
  NamedFile nowhere("missing/dir/P");
  EXPECT_NE(Create(nowhere), 0);
  EXPECT_EQ(nowhere.file.state, nullptr);
  EXPECT_EQ(OpenFileRegistry::Instance().size(), 0u);
}

}  // namespace
}  // namespace vantrose
