#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "tests/front/open_fixture.h"

namespace vantrose {
namespace {

using RemoveTest = TableOperationsTest;

TEST_F(RemoveTest, OneOfTwoTablesThenTheLastWithTheFile) {
  NamedFile a("F\\!A");
  NamedFile b("F\\!B");
  ASSERT_EQ(Create(a), 0);
  ASSERT_EQ(Create(b), 0);
  ASSERT_NO_FATAL_FAILURE(FillTable(a, 3));

  EXPECT_EQ(Call(op::REMOVE, a), 0);
  EXPECT_TRUE(Exists("F.VNT"));
  EXPECT_EQ(Open(a), 2);
  ASSERT_EQ(Open(b), 0);
  // Nothing of A is left in the file: B's records come first.
  uint32_t table_b = b.file.state->table_number;
  const uint8_t start[1] = {0};
  RecordNode* first = FindNext(*b.file.state->store, *RecordNode::FromBytes(KeyBytes(start, 1)));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(KeyTable(first->bytes()), table_b);
  ASSERT_EQ(Close(b), 0);

  EXPECT_EQ(Call(op::REMOVE, b), 0);
  EXPECT_FALSE(Exists("F.VNT"));
}

TEST_F(RemoveTest, IgnoresADefinitionMismatchButNotAMissingTable) {
  NamedFile a("R");
  ASSERT_EQ(Create(a), 0);
  NamedFile other("R");
  other.record[2].type = TYPE_ULONG;
  EXPECT_EQ(Open(other), 47);
  EXPECT_EQ(Call(op::REMOVE, other), 0);
  EXPECT_FALSE(Exists("R.VNT"));
  EXPECT_EQ(Call(op::REMOVE, a), 2);
  NamedFile c("S\\!C");
  ASSERT_EQ(Create(c), 0);
  NamedFile d("S\\!D");
  EXPECT_EQ(Call(op::REMOVE, d), 2);
  EXPECT_TRUE(Exists("S.VNT"));
  EXPECT_EQ(Open(c), 0);
  Close(c);
}

TEST_F(RemoveTest, TheLastTableOfAFileInUseElsewhereStays) {
  NamedFile a("U");
  ASSERT_EQ(Create(a), 0);
  FileSystem& fs = CurrentFileSystem();
  FileHandle other = kNoFile;
  ASSERT_EQ(fs.Open(InDir("U.VNT"), FileOpenRequest{}, &other), 0);
  EXPECT_EQ(Call(op::REMOVE, a), 5);
  fs.Close(other);
  EXPECT_TRUE(Exists("U.VNT"));
  ASSERT_EQ(Open(a), 0);
  Close(a);
  EXPECT_EQ(Call(op::REMOVE, a), 0);
  EXPECT_FALSE(Exists("U.VNT"));
}

}  // namespace
}  // namespace vantrose
