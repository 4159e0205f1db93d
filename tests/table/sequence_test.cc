// Sequences in file order and key order, direct reads, positions and counts.

#include <string>
#include <vector>

#include "records_fixture.h"

namespace vantrose {
namespace {

using Names = std::vector<std::string>;

class SequenceTest : public RecordsTest {
 protected:
  // key 0: name, unique; key 1: code, DUP.
  void DefineWithRecords(const std::vector<Bytes>& images) {
    Define({{0, {kName}}, {KEY_DUP, {kCode}}});
    for (const Bytes& image : images) ASSERT_EQ(Add(image), 0);
  }
  KeyDescriptor& NameKey() { return state_.keys[0]; }
  KeyDescriptor& CodeKey() { return state_.keys[1]; }
};

TEST_F(SequenceTest, AnEmptyTableHasNothingInEitherDirection) {
  DefineWithRecords({});
  ASSERT_EQ(Run(SetFileOperation), 0);
  EXPECT_EQ(Run(EofOperation), 0);
  EXPECT_EQ(result_, 1);
  EXPECT_EQ(Run(BofOperation), 0);
  EXPECT_EQ(result_, 1);
  EXPECT_EQ(Run(NextOperation), kRecordNotAvailable);
  EXPECT_EQ(Run(PreviousOperation), kRecordNotAvailable);
  EXPECT_EQ(Run(RecordsFileOperation), 0);
  EXPECT_EQ(result_, 0);
  EXPECT_EQ(Run(BytesOperation), 0);
  EXPECT_EQ(result_, 0);
}

TEST_F(SequenceTest, FileOrderBothWaysAndTheEndKeepsTheBuffer) {
  DefineWithRecords({Image("a", 1), Image("b", 2), Image("c", 3)});
  ASSERT_EQ(Run(SetFileOperation), 0);
  EXPECT_EQ(ReadAll(NextOperation), (Names{"a", "b", "c"}));
  EXPECT_EQ(Name(), "c");  // the failed NEXT left the last record
  EXPECT_EQ(Run(PreviousOperation), 0);
  EXPECT_EQ(Name(), "b");

  ASSERT_EQ(Run(SetFileOperation), 0);
  EXPECT_EQ(ReadAll(PreviousOperation), (Names{"c", "b", "a"}));
  EXPECT_EQ(Run(RecordsFileOperation), 0);
  EXPECT_EQ(result_, 3);
  EXPECT_EQ(Run(BytesOperation), 0);
  EXPECT_EQ(result_, int32_t(3 * kRecordLength));
}

TEST_F(SequenceTest, SkipStopsAtTheEnd) {
  DefineWithRecords({Image("a", 1), Image("b", 2)});
  ASSERT_EQ(Run(SetFileOperation), 0);
  EXPECT_EQ(Run(SkipOperation, 3), 0);
  EXPECT_EQ(Run(NextOperation), kRecordNotAvailable);
  // One step back from b stands on a.
  EXPECT_EQ(Run(SkipOperation, -1), 0);
  EXPECT_EQ(Run(NextOperation), 0);
  EXPECT_EQ(Name(), "b");
}

TEST_F(SequenceTest, SetFilePointer) {
  DefineWithRecords({Image("a", 1), Image("b", 2), Image("c", 3)});
  const auto numbers = StoredOfKind(KIND_DATA);
  const int32_t second = int32_t(LoadBE32(numbers[1].data() + 5));
  const int32_t last = int32_t(LoadBE32(numbers[2].data() + 5));
  struct Case {
    int32_t pointer;
    bool forward;
    int32_t expected;  // kRecordNotAvailable or the name's first letter
  } cases[] = {
      {second, true, 'b'},     {second, false, 'b'},
      {last + 1, false, 'c'},  {0, true, 'a'},  {0, false, 'c'},
      // Nothing at or beyond the pointer: 33, never a jump elsewhere.
      {last + 1, true, kRecordNotAvailable},
      {1, false, kRecordNotAvailable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pointer);
    ASSERT_EQ(Run(SetFilePointerOperation, c.pointer), 0);
    const int32_t outcome = Run(c.forward ? NextOperation : PreviousOperation);
    if (c.expected == kRecordNotAvailable) {
      EXPECT_EQ(outcome, kRecordNotAvailable);
    } else {
      ASSERT_EQ(outcome, 0);
      EXPECT_EQ(Name(), std::string(1, char(c.expected)));
    }
  }
}

TEST_F(SequenceTest, KeyOrderFromAValueNoEntryHas) {
  DefineWithRecords({Image("m", 1), Image("c", 2), Image("x", 3)});
  SetBuffer(Image("k", 0));
  ASSERT_EQ(Run(SetKeyKeyOperation, 0, &NameKey()), 0);
  EXPECT_EQ(ReadAll(NextOperation), (Names{"m", "x"}));
  SetBuffer(Image("k", 0));
  ASSERT_EQ(Run(SetKeyKeyOperation, 0, &NameKey()), 0);
  EXPECT_EQ(ReadAll(PreviousOperation), (Names{"c"}));
  ASSERT_EQ(Run(SetKeyOperation, 0, &NameKey()), 0);
  EXPECT_EQ(ReadAll(NextOperation), (Names{"c", "m", "x"}));
  // SET(file, key) starts at the key value and goes on in file order.
  SetBuffer(Image("m", 0));
  ASSERT_EQ(Run(SetFileKeyOperation, 0, &NameKey()), 0);
  EXPECT_EQ(ReadAll(NextOperation), (Names{"m", "c", "x"}));
}

TEST_F(SequenceTest, DuplicatesComeInRecordNumberOrder) {
  DefineWithRecords({Image("a", 1, "k"), Image("b", 2, "z"), Image("c", 3, "k"), Image("d", 4, "k")});
  SetBuffer(Image("", 0, "k"));
  ASSERT_EQ(Run(SetKeyKeyOperation, 0, &CodeKey()), 0);
  EXPECT_EQ(ReadAll(NextOperation), (Names{"a", "c", "d", "b"}));
  SetBuffer(Image("", 0, "k"));
  ASSERT_EQ(Run(SetKeyKeyOperation, 0, &CodeKey()), 0);
  EXPECT_EQ(ReadAll(PreviousOperation), (Names{"d", "c", "a"}));
  SetBuffer(Image("", 0, "k"));
  ASSERT_EQ(Run(GetFileKeyOperation, 0, &CodeKey()), 0);
  EXPECT_EQ(Name(), "a");
}

TEST_F(SequenceTest, AnEntryWithoutItsDataRecordIsPassedOver) {
  DefineWithRecords({Image("a", 1), Image("b", 2), Image("c", 3)});
  // Someone else removed b's data record but not its entry.
  ASSERT_EQ(EnterWriteMode(store_), 0);
  const Bytes b = StoredOfKind(KIND_DATA)[1];
  Delete(store_, FindExact(store_, KeyBytes(b.data(), kDataKeyLength)));
  ASSERT_EQ(EndOperation(state_, 0), 0);
  ASSERT_EQ(Run(SetKeyOperation, 0, &NameKey()), 0);
  EXPECT_EQ(ReadAll(NextOperation), (Names{"a", "c"}));
  ASSERT_EQ(Run(SetKeyOperation, 0, &NameKey()), 0);
  EXPECT_EQ(ReadAll(PreviousOperation), (Names{"c", "a"}));
  SetBuffer(Image("b", 0));
  EXPECT_EQ(Run(GetFileKeyOperation, 0, &NameKey()), kRecordNotFound);
}

TEST_F(SequenceTest, PositionsLeadBackToTheirRecord) {
  DefineWithRecords({Image("a", 1, "k"), Image("b", 2, "k"), Image("c", 3, "k")});
  for (KeyDescriptor* key : {&NameKey(), &CodeKey()}) {
    ASSERT_EQ(Run(SetKeyOperation, 0, key), 0);
    ASSERT_EQ(Run(NextOperation), 0);
    ASSERT_EQ(Run(NextOperation), 0);
    ASSERT_EQ(Name(), "b");
    ASSERT_EQ(Run(PositionKeyOperation, 0, key), 0);
    const std::string position = result_string_;
    EXPECT_EQ(position.size(), 4 + KeyValueLength(*key));
    ASSERT_EQ(Run(NextOperation), 0);
    ASSERT_EQ(Run(ResetKeyOperation, 0, key, position), 0);
    ASSERT_EQ(Run(NextOperation), 0);
    EXPECT_EQ(Name(), "b");
    ASSERT_EQ(Run(NextOperation), 0);
    EXPECT_EQ(Name(), "c");
    ASSERT_EQ(Run(RegetKeyOperation, 0, key, position), 0);
    EXPECT_EQ(Name(), "b");
  }
  ASSERT_EQ(Run(PositionFileOperation), 0);
  const std::string position = result_string_;
  ASSERT_EQ(Run(PointerOperation), 0);
  const int32_t pointer = result_;
  ASSERT_EQ(Run(SetFileOperation), 0);
  ASSERT_EQ(Run(NextOperation), 0);
  ASSERT_EQ(Run(ResetFileOperation, 0, nullptr, position), 0);
  ASSERT_EQ(Run(PreviousOperation), 0);
  EXPECT_EQ(Name(), "b");
  ASSERT_EQ(Run(GetFilePointerOperation, pointer), 0);
  EXPECT_EQ(Name(), "b");
  EXPECT_EQ(Run(GetFilePointerOperation, pointer + 100), kRecordNotFound);
  EXPECT_EQ(Name(), "b");  // a failed read keeps the buffer
}

TEST_F(SequenceTest, SetKeyPointerReadsOnInKeyOrder) {
  DefineWithRecords({Image("c", 1), Image("a", 2), Image("b", 3)});
  const int32_t of_a = int32_t(LoadBE32(StoredOfKind(KIND_DATA)[1].data() + 5));
  ASSERT_EQ(Run(SetKeyPointerOperation, of_a, &NameKey()), 0);
  EXPECT_EQ(ReadAll(NextOperation), (Names{"a", "b", "c"}));
  ASSERT_EQ(Run(SetKeyPointerOperation, of_a + 100, &NameKey()), 0);
  EXPECT_EQ(Run(NextOperation), kRecordNotAvailable);
  SetBuffer(Image("b", 0));
  ASSERT_EQ(Run(SetKeyKeyPointerOperation, of_a, &NameKey()), 0);
  EXPECT_EQ(ReadAll(NextOperation), (Names{"b", "c"}));
}

}  // namespace
}  // namespace vantrose
