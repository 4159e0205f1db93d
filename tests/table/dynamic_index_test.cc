// Dynamic indexes in the table layer: built into a store of their own,
// read through the ordinary reading operations, filtered, rebuilt and
// released, against orders computed here from the records themselves.
#include "engine/table/dynamic_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine/storage/corruption.h"
#include "engine/storage/cursor.h"
#include "engine/storage/page_tree.h"
#include "engine/table/build_filter.h"
#include "engine/table/component_text.h"
#include "engine/table/data_records.h"
#include "engine/table/key_build.h"
#include "engine/table/key_maintenance.h"
#include "engine/table/key_value.h"
#include "engine/table/record_kinds.h"
#include "engine/table/record_updates.h"
#include "engine/table/statistics.h"
#include "engine/table/table_records.h"
#include "record_kinds_store.h"
#include "runtime/declared.h"

namespace vantrose {
namespace {

using Bytes = std::vector<uint8_t>;

// Record layout (22 bytes): T:NAME STRING(12) @0, T:NUMBER LONG @12,
// T:CODE STRING(4) @16, T:PRICE DECIMAL(3) @20 (two bytes).
constexpr uint32_t kRecordLength = 22;

struct Row {
  std::string name;
  int32_t number;
  std::string code;
  uint16_t price;  // stored bytes, most significant first: 0x0123 is 123
};

Bytes Image(const Row& row) {
  Bytes image(kRecordLength, ' ');
  std::memcpy(image.data(), row.name.data(), std::min<size_t>(row.name.size(), 12));
  std::memcpy(image.data() + 12, &row.number, 4);
  std::memcpy(image.data() + 16, row.code.data(), std::min<size_t>(row.code.size(), 4));
  image[20] = uint8_t(row.price >> 8);
  image[21] = uint8_t(row.price);
  return image;
}

std::string Upper(std::string text) {
  for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Keys: 0 T:NAME (DUP, in the file), 1 a dynamic DUP, OPT, NOCASE index,
// 2 a dynamic index without DUP.
constexpr uint8_t kDynamic = KEY_INDEX | KEY_DYNAMIC;

class DynamicIndexTest : public TableFileTest {
 protected:
  void SetUp() override {
    TableFileTest::SetUp();
    MarkEngineOperationInProgress();  // a corruption report fails the test, not the run
    state_.table_number = NextNumber(store_);
    state_.record_length = kRecordLength;
    buffer_.assign(kRecordLength, ' ');
    state_.record_buffer = buffer_.data();
    const char* names[] = {"T:NAME", "T:NUMBER", "T:CODE", "T:PRICE"};
    const uint8_t types[] = {TYPE_STRING, TYPE_LONG, TYPE_STRING, TYPE_DECIMAL};
    const uint32_t offsets[] = {0, 12, 16, 20}, sizes[] = {12, 4, 4, 2};
    state_.fields.resize(4);
    for (size_t i = 0; i < 4; ++i) {
      FieldDescriptor& field = state_.fields[i];
      field.name = names[i];
      field.type = types[i];
      field.offset = offsets[i];
      field.size = sizes[i];
      field.element_length = types[i] == TYPE_STRING ? sizes[i] : 0;
      field.element_size = types[i] == TYPE_DECIMAL ? sizes[i] : 0;
      field.index = uint32_t(i);
    }
    const uint8_t flags[] = {KEY_DUP, kDynamic | KEY_DUP | KEY_OPT | KEY_NOCASE, kDynamic};
    state_.keys.resize(3);
    for (uint32_t i = 0; i < 3; ++i) {
      KeyDescriptor& key = state_.keys[i];
      key.owner = &state_;
      key.number = i;
      key.flags = flags[i];
    }
    state_.keys[0].components = {{&state_.fields[0], 0}};
    state_.keys[0].store = &store_;
    for (Cursor** cursor : {&state_.data_cursor, &state_.key_cursor, &state_.stats_cursor}) {
      cursors_.push_back(std::make_unique<Cursor>(store_));
      *cursor = cursors_.back().get();
    }
    state_.record_image.assign(kRecordLength, 0);
    state_.table_flags |= RS_OPEN;
    state_.flags |= FS_OPEN;
    WriteFreshStatistics(state_);
  }

  void TearDown() override {
    ReleaseDynamicIndexes(state_);  // as the table's close does
    state_.data_cursor = state_.key_cursor = state_.stats_cursor = nullptr;
    cursors_.clear();
    ClearEngineOperationInProgress();
    TableFileTest::TearDown();
  }

  // Stores rows as APPEND does and commits them; rows_[i] is record first + i.
  void AppendRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      const uint32_t record = NextNumber(store_);
      if (first_record_ == 0) first_record_ = record;
      const Bytes image = Image(row);
      uint8_t key[kDataKeyLength];
      DataKey(key, state_.table_number, record);
      Insert(store_, RecordNode::FromBytes(KeyBytes(key, sizeof key), image));
      ASSERT_EQ(MaintainKeys(state_, image, {}, record, true, state_.keys.size()), 0);
      AddToCount(state_, kDataSubject, 1);
      rows_.push_back(row);
    }
    ASSERT_EQ(Commit(store_), 0);
  }

  // Sixty rows of mixed case, repeated numbers and names, some blank.
  void AppendMixed() {
    const char* words[] = {"pear", "Apple", "fig", "banana", "Cherry", "date", "GRAPE", "kiwi"};
    std::vector<Row> rows;
    for (int i = 0; i < 60; ++i) {
      const int scrambled = (i * 37) % 61;
      Row row{words[scrambled % 8], scrambled % 7 - 3, std::string(1, char('A' + i % 3)),
              uint16_t(((scrambled % 10) << 4) | (i % 10))};
      if (i % 9 == 4) row = Row{"", 0, "", 0};  // blank for the OPT index
      rows.push_back(row);
    }
    AppendRows(rows);
  }

  uint32_t RecordOf(size_t row) const { return first_record_ + uint32_t(row); }

  int32_t Run(OperationHandler handler, KeyDescriptor* key = nullptr, int32_t cell = 0) {
    OperationContext context{state_, 0, key, {cell, 0, 0, 0}, {}, {}, 0, {}};
    const int32_t outcome = handler(context);
    result_ = context.result;
    return outcome;
  }

  int32_t BuildDynamic(uint32_t key, const std::string& components, BuildFilter* filter = nullptr) {
    const int32_t parsed = ParseComponentText(state_.fields, components, &state_.keys[key].components);
    return parsed != 0 ? parsed : BuildKey(state_, state_.keys[key], filter);
  }

  // The records in the order the key reads them, from SET(key) on.
  std::vector<uint32_t> Walk(uint32_t key, bool forward = true) {
    std::vector<uint32_t> records;
    EXPECT_EQ(Run(SetKeyOperation, &state_.keys[key]), 0);
    while (Run(forward ? NextOperation : PreviousOperation) == 0) records.push_back(state_.current_record);
    return records;
  }

  // The records of the rows that `take` accepts, in the order `less` gives
  // and then by record number.
  template <typename Take, typename Less>
  std::vector<uint32_t> Expected(Take take, Less less) const {
    std::vector<size_t> rows;
    for (size_t i = 0; i < rows_.size(); ++i) {
      if (take(rows_[i])) rows.push_back(i);
    }
    std::stable_sort(rows.begin(), rows.end(), [&](size_t a, size_t b) { return less(rows_[a], rows_[b]); });
    std::vector<uint32_t> records;
    for (size_t row : rows) records.push_back(RecordOf(row));
    return records;
  }

  static bool NotBlank(const Row& row) { return row.number != 0 || !row.name.empty(); }
  // -T:NUMBER, then T:NAME without regard to case.
  static bool NumberDownNameUp(const Row& a, const Row& b) {
    return std::make_tuple(-a.number, Upper(a.name)) < std::make_tuple(-b.number, Upper(b.name));
  }

  Bytes FileBytes() const {
    std::ifstream in(path_, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  Bytes buffer_;
  int32_t result_ = 0;
  std::vector<Row> rows_;
  uint32_t first_record_ = 0;
  std::vector<std::unique_ptr<Cursor>> cursors_;
};

TEST_F(DynamicIndexTest, BuiltIndexReadsInItsOrderAndLeavesTheFileAlone) {
  AppendMixed();
  const Bytes file_before = FileBytes();
  KeyDescriptor& key = state_.keys[1];
  EXPECT_EQ(key.store, nullptr);

  ASSERT_EQ(BuildDynamic(1, "-T:NUMBER, T:NAME"), 0);
  EXPECT_NE(key.state_flags & FS_KEY_BUILT, 0u);
  const std::vector<uint32_t> expected = Expected(NotBlank, NumberDownNameUp);
  ASSERT_GT(expected.size(), 40u);
  ASSERT_LT(expected.size(), rows_.size());
  EXPECT_EQ(Walk(1), expected);
  EXPECT_EQ(Walk(1, false), std::vector<uint32_t>(expected.rbegin(), expected.rend()));
  EXPECT_EQ(ReadCount(state_, 1), expected.size());

  // GET(file, key) finds the first record of a value in the index's order.
  std::memcpy(buffer_.data(), Image(rows_[7]).data(), kRecordLength);
  const uint32_t first_of_value = *std::find_if(expected.begin(), expected.end(), [&](uint32_t record) {
    const Row& row = rows_[record - first_record_];
    return row.number == rows_[7].number && Upper(row.name) == Upper(rows_[7].name);
  });
  ASSERT_EQ(Run(GetFileKeyOperation, &key), 0);
  EXPECT_EQ(state_.current_record, first_of_value);

  // Nothing of it is in the file: no entry of key 1, no change to commit.
  EXPECT_NE(key.store, &store_);
  EXPECT_EQ(FirstOfKind(store_, state_.table_number, 1), nullptr);
  EXPECT_FALSE(store_.changed);
  ASSERT_EQ(Commit(store_), 0);
  EXPECT_EQ(FileBytes(), file_before);
}

TEST_F(DynamicIndexTest, EachBuildStartsFromAnEmptyStore) {
  AppendMixed();
  ASSERT_EQ(BuildDynamic(1, "T:NAME"), 0);
  ASSERT_EQ(BuildDynamic(1, "T:CODE,-T:NAME"), 0);
  const std::vector<uint32_t> expected =
      Expected([](const Row& row) { return !row.code.empty() || !row.name.empty(); },
               [](const Row& a, const Row& b) {
                 return std::make_tuple(a.code, Upper(b.name)) < std::make_tuple(b.code, Upper(a.name));
               });
  EXPECT_EQ(Walk(1), expected);
  EXPECT_EQ(ReadCount(state_, 1), expected.size());
}

TEST_F(DynamicIndexTest, FilterPassesTrueAndUndecidedRecords) {
  AppendMixed();
  // Price 0x0ABC cannot be read: the filter's answer is undecided.
  AppendRows({{"lemon", 9, "Z", 0x0ABC}, {"mango", 9, "Z", 0x0005}});
  std::unique_ptr<BuildFilter> filter;
  ASSERT_EQ(BuildFilter::Compile(state_, "T:PRICE > 40 AND T:CODE <> 'B'", &filter), 0);
  ASSERT_EQ(BuildDynamic(1, "T:NAME,T:NUMBER", filter.get()), 0);

  auto price = [](uint16_t bytes) { return (bytes >> 8 & 0xF) * 100 + (bytes >> 4 & 0xF) * 10 + (bytes & 0xF); };
  const std::vector<uint32_t> expected = Expected(
      [&](const Row& row) {
        const bool readable = (row.price & 0x0F00) <= 0x0900 && (row.price & 0xF0) <= 0x90 &&
                              (row.price & 0xF) <= 9;
        return NotBlank(row) && (!readable || price(row.price) > 40) && row.code != "B";
      },
      [](const Row& a, const Row& b) {
        return std::make_tuple(Upper(a.name), a.number) < std::make_tuple(Upper(b.name), b.number);
      });
  ASSERT_FALSE(expected.empty());
  EXPECT_NE(std::find(expected.begin(), expected.end(), RecordOf(rows_.size() - 2)), expected.end());
  EXPECT_EQ(Walk(1), expected);
  EXPECT_EQ(ReadCount(state_, 1), expected.size());
}

TEST_F(DynamicIndexTest, FilterThatDoesNotCompileIsRefused) {
  std::unique_ptr<BuildFilter> filter;
  EXPECT_EQ(BuildFilter::Compile(state_, "T:PRICE >", &filter), FilterExpression::kInvalid);
  EXPECT_EQ(BuildFilter::Compile(state_, "T:NOPE = 1", &filter), FilterExpression::kUnbound);
  EXPECT_EQ(filter, nullptr);
}

TEST_F(DynamicIndexTest, FilterOfATableWithoutRecordBufferUsesItsOwn) {
  AppendRows({{"pear", 1, "A", 0}, {"fig", 2, "B", 0}, {"kiwi", 3, "A", 0}});
  state_.record_buffer = nullptr;
  std::unique_ptr<BuildFilter> filter;
  ASSERT_EQ(BuildFilter::Compile(state_, "T:CODE = 'A'", &filter), 0);
  ASSERT_EQ(BuildDynamic(1, "T:NAME", filter.get()), 0);
  EXPECT_EQ(ReadCount(state_, 1), 2u);
  uint8_t probe[kTablePrefixLength];
  TablePrefixKey(probe, state_.table_number, 1);
  const RecordNode* first = FindNext(*state_.keys[1].store, *RecordNode::FromBytes(KeyBytes(probe, sizeof probe)));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(EntryRecordNumber(*first), RecordOf(2));  // KIWI before PEAR
}

TEST_F(DynamicIndexTest, DuplicateValuesOfAUniqueIndexLeaveItUnbuilt) {
  AppendRows({{"pear", 1, "A", 0}, {"fig", 2, "B", 0}, {"kiwi", 3, "A", 0}});
  EXPECT_EQ(BuildDynamic(2, "T:CODE"), kCreatesDuplicateKey);
  EXPECT_EQ(state_.keys[2].state_flags & FS_KEY_BUILT, 0u);
  EXPECT_EQ(ReadCount(state_, 2), 2u);  // A (the lower record) and B
  ASSERT_EQ(BuildDynamic(2, "T:CODE,T:NAME"), 0);
  EXPECT_NE(state_.keys[2].state_flags & FS_KEY_BUILT, 0u);
  EXPECT_EQ(Walk(2), (std::vector<uint32_t>{RecordOf(2), RecordOf(0), RecordOf(1)}));
  // DUPLICATE(key) asks the index's own entries.
  std::memcpy(buffer_.data(), Image({"fig", 9, "B", 0}).data(), kRecordLength);
  state_.current_record = 0;
  ASSERT_EQ(Run(DuplicateKeyOperation, &state_.keys[2]), 0);
  EXPECT_EQ(result_, 1);
  std::memcpy(buffer_.data(), Image({"fig", 9, "A", 0}).data(), kRecordLength);
  ASSERT_EQ(Run(DuplicateKeyOperation, &state_.keys[2]), 0);
  EXPECT_EQ(result_, 0);
}

TEST_F(DynamicIndexTest, RecordChangesAndFileBuildsLeaveTheIndexAsBuilt) {
  AppendRows({{"pear", 1, "A", 0}, {"fig", 2, "B", 0}, {"kiwi", 3, "A", 0}});
  ASSERT_EQ(BuildDynamic(1, "T:NAME"), 0);
  // ADD: the new record gets no entry in the dynamic index.
  std::memcpy(buffer_.data(), Image({"apple", 4, "C", 0}).data(), kRecordLength);
  ASSERT_EQ(Run(AddOperation), 0);
  // DELETE: its entry stays behind and is passed over when read.
  ASSERT_EQ(Run(GetFilePointerOperation, nullptr, int32_t(RecordOf(1))), 0);
  ASSERT_EQ(Run(DeleteOperation), 0);
  EXPECT_EQ(ReadCount(state_, 1), 3u);
  EXPECT_EQ(Walk(1), (std::vector<uint32_t>{RecordOf(2), RecordOf(0)}));
  // BUILD(file) builds the file's keys and skips every INDEX.
  ASSERT_EQ(BuildAll(state_, false), 0);
  EXPECT_EQ(ReadCount(state_, 0), 3u);
  EXPECT_EQ(ReadCount(state_, 1), 3u);
  EXPECT_EQ(FirstOfKind(store_, state_.table_number, 1), nullptr);
}

TEST_F(DynamicIndexTest, ReleaseFreesTheStoresAndUnmarksTheIndexes) {
  AppendRows({{"pear", 1, "A", 0}, {"fig", 2, "B", 0}});
  ASSERT_EQ(BuildDynamic(1, "T:NAME"), 0);
  ASSERT_EQ(BuildDynamic(2, "T:NUMBER"), 0);
  ReleaseDynamicIndexes(state_);
  for (uint32_t i : {1u, 2u}) {
    EXPECT_EQ(state_.keys[i].store, nullptr);
    EXPECT_EQ(state_.keys[i].stats_cursor, nullptr);
    EXPECT_EQ(state_.keys[i].state_flags & FS_KEY_BUILT, 0u);
  }
  EXPECT_TRUE(state_.dynamic_stores.empty());
  EXPECT_EQ(state_.keys[0].store, &store_);  // the file's keys keep theirs
}

}  // namespace
}  // namespace vantrose
