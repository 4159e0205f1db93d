// ADD, APPEND, PUT, PUT(file, pointer), DELETE and EMPTY.

#include <string>
#include <vector>

#include "engine/storage/file_store.h"
#include "records_fixture.h"

namespace vantrose {
namespace {

class UpdateTest : public RecordsTest {
 protected:
  // Every stored record of the table (key and data), in tree order.
  std::vector<Bytes> Everything() {
    std::vector<Bytes> all;
    for (int kind = 0; kind <= 0xFF; ++kind) {
      for (Bytes& record : StoredOfKind(uint8_t(kind))) all.push_back(std::move(record));
    }
    return all;
  }
  uint32_t Pointer() {
    Run(PointerOperation);
    return uint32_t(result_);
  }
};

TEST_F(UpdateTest, AFailedAddLeavesNoTraceButUsesUpItsNumber) {
  Define({{KEY_DUP, {kNumber}}, {0, {kName}}}, {{300, 0}});
  ASSERT_EQ(Add(Image("a", 1)), 0);
  const uint32_t first = Pointer();
  const std::vector<Bytes> before = Everything();
  state_.memos[0].buffer.assign(300, 'm');
  EXPECT_EQ(Add(Image("a", 2)), kCreatesDuplicateKey);
  EXPECT_EQ(Everything(), before);  // no data record, entry, memo piece or count
  EXPECT_EQ(Add(Image("b", 3)), 0);
  EXPECT_EQ(Pointer(), first + 2);
  EXPECT_EQ(Records(), 2u);
  EXPECT_EQ(KeyCount(0), 2u);
}

TEST_F(UpdateTest, WithoutItsDataStatisticsTheTableIsRefusedAndKept) {
  Define({{0, {kName}}});
  ASSERT_EQ(Add(Image("a", 1)), 0);
  ASSERT_EQ(EnterWriteMode(store_), 0);
  uint8_t key[kStatisticsKeyLength];
  StatisticsKey(key, state_.table_number, kDataSubject);
  Delete(store_, FindExact(store_, KeyBytes(key, sizeof key)));
  ASSERT_EQ(EndOperation(state_, 0), 0);
  const std::vector<Bytes> before = Everything();
  EXPECT_EQ(Add(Image("b", 2)), kAccessDenied);
  EXPECT_EQ(Append(Image("c", 3)), kAccessDenied);
  EXPECT_EQ(Everything(), before);
  EXPECT_EQ(StoredOfKind(KIND_DATA).size(), 1u);
}

TEST_F(UpdateTest, AppendLeavesTheKeysToTheBuild) {
  Define({{KEY_DUP, {kNumber}}, {0, {kName}}, {KEY_INDEX, {kCode}}});
  ASSERT_EQ(Add(Image("a", 1)), 0);
  const uint32_t added = Pointer();
  const std::vector<Bytes> entries = StoredOfKind(0);
  ASSERT_EQ(Append(Image("b", 2)), 0);
  const uint32_t first_appended = Pointer();
  // The same value of the unique key is accepted: BUILD finds it.
  ASSERT_EQ(Append(Image("b", 3)), 0);
  EXPECT_EQ(FirstNotIndexed(state_, 0), first_appended);
  EXPECT_EQ(FirstNotIndexed(state_, 1), first_appended);
  // An INDEX was behind since the ADD already.
  EXPECT_EQ(FirstNotIndexed(state_, 2), added);
  EXPECT_EQ(StoredOfKind(0), entries);
  EXPECT_TRUE(StoredOfKind(1).size() == 1);
  EXPECT_EQ(KeyCount(0), 1u);
  EXPECT_EQ(Records(), 3u);
  // APPEND makes the new record current: a PUT rewrites it.
  SetBuffer(Image("b", 4));
  ASSERT_EQ(Run(PutOperation), 0);
  ASSERT_EQ(Run(GetFilePointerOperation, int32_t(first_appended + 1)), 0);
  EXPECT_EQ(Buffer(), Image("b", 4));
}

TEST_F(UpdateTest, PutTouchesOnlyTheKeysWhoseValuesChanged) {
  Define({{KEY_DUP, {kNumber}}, {0, {kName}}, {KEY_DUP, {kCode}}});
  ASSERT_EQ(Add(Image("a", 1, "x")), 0);
  ASSERT_EQ(Add(Image("b", 2, "y")), 0);
  const std::vector<Bytes> names = StoredOfKind(1), codes = StoredOfKind(2);
  SetBuffer(Image("b", 7, "y"));
  ASSERT_EQ(Run(PutOperation), 0);
  EXPECT_EQ(StoredOfKind(1), names);
  EXPECT_EQ(StoredOfKind(2), codes);
  SetBuffer(Image("", 7));
  ASSERT_EQ(Run(GetFileKeyOperation, 0, &state_.keys[0]), 0);
  EXPECT_EQ(Name(), "b");

  // Unchanged: nothing stored changes.
  const std::vector<Bytes> before = Everything();
  ASSERT_EQ(Run(PutOperation), 0);
  EXPECT_EQ(Everything(), before);
}

TEST_F(UpdateTest, ADuplicateOnTheSixthKeyPutsTheFirstFiveBack) {
  Define({{KEY_DUP, {kNumber}}, {KEY_DUP, {kName}}, {KEY_DUP, {kCode}},
          {KEY_DUP, {kName, kCode}}, {KEY_DUP, {kCode, kNumber}}, {0, {kTag}}});
  ASSERT_EQ(Add(Image("a", 1, "x", "t1")), 0);
  ASSERT_EQ(Add(Image("b", 2, "y", "t2")), 0);
  const std::vector<Bytes> before = Everything();
  SetBuffer(Image("c", 3, "z", "t1"));
  EXPECT_EQ(Run(PutOperation), kCreatesDuplicateKey);
  EXPECT_EQ(Everything(), before);
  EXPECT_EQ(Buffer(), Image("c", 3, "z", "t1"));  // the caller's buffer is its own
  ASSERT_EQ(Run(GetFilePointerOperation, int32_t(Pointer())), 0);
  EXPECT_EQ(Buffer(), Image("b", 2, "y", "t2"));
}

TEST_F(UpdateTest, PutAndDeleteNeedARecord) {
  Define({{0, {kName}}});
  ASSERT_EQ(Add(Image("a", 1)), 0);
  const int32_t a = int32_t(Pointer());
  EXPECT_EQ(Run(PutFilePointerOperation, a + 50), kRecordNotAvailable);
  EXPECT_EQ(Run(PutOperation), kRecordNotAvailable);
  EXPECT_EQ(Run(DeleteOperation), kRecordNotAvailable);
  SetBuffer(Image("z", 9));
  ASSERT_EQ(Run(PutFilePointerOperation, a), 0);
  ASSERT_EQ(Run(GetFilePointerOperation, a), 0);
  EXPECT_EQ(Name(), "z");
  ASSERT_EQ(Run(DeleteOperation), 0);
  EXPECT_EQ(Records(), 0u);
  EXPECT_EQ(KeyCount(0), 0u);
  EXPECT_TRUE(StoredOfKind(0).empty());
  EXPECT_EQ(Run(DeleteOperation), kRecordNotAvailable);
}

TEST_F(UpdateTest, DeleteInAnOemTableRemovesEveryEntry) {
  Define({{0, {kName}}, {KEY_DUP | KEY_NOCASE, {kCode, kName}}}, {}, /*oem=*/true);
  ASSERT_EQ(Add(Image("\xe9t\xe9", 1, "\xc4x")), 0);  // ANSI e-acute, A-umlaut
  ASSERT_EQ(Add(Image("plain", 2, "y")), 0);
  ASSERT_EQ(Run(SetFileOperation), 0);
  ASSERT_EQ(Run(NextOperation), 0);
  EXPECT_EQ(Buffer(), Image("\xe9t\xe9", 1, "\xc4x"));  // read back in ANSI
  EXPECT_EQ(StoredOfKind(KIND_DATA)[0][9], 0x82);     // stored in OEM
  ASSERT_EQ(Run(DeleteOperation), 0);
  EXPECT_EQ(StoredOfKind(0).size(), 1u);
  EXPECT_EQ(StoredOfKind(1).size(), 1u);
}

TEST_F(UpdateTest, EmptyLeavesAUsableTableWithItsCollation) {
  Define({{0, {kName}}, {KEY_DUP, {kCode}}}, {{100, 0}});
  for (const char* name : {"a", "b", "c"}) {
    state_.memos[0].buffer.assign(100, name[0]);
    ASSERT_EQ(Add(Image(name, 1, "k")), 0);
  }
  ASSERT_EQ(Run(EmptyOperation), 0);
  EXPECT_EQ(Records(), 0u);
  EXPECT_EQ(KeyCount(0), 0u);
  EXPECT_EQ(KeyCount(1), 0u);
  EXPECT_TRUE(StoredOfKind(KIND_DATA).empty());
  EXPECT_TRUE(StoredOfKind(KIND_MEMO).empty());
  EXPECT_EQ(StoredOfKind(KIND_COLLATION).size(), 1u);
  EXPECT_FALSE(StoredOfKind(KIND_DEFINITION).empty());
  ASSERT_EQ(Add(Image("a", 1, "k")), 0);
  ASSERT_EQ(Run(SetKeyOperation, 0, &state_.keys[0]), 0);
  EXPECT_EQ(ReadAll(NextOperation), (std::vector<std::string>{"a"}));
  EXPECT_EQ(Records(), 1u);
}

}  // namespace
}  // namespace vantrose
