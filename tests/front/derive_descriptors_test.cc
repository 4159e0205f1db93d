#include "engine/front/derive_descriptors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/error_state.h"
#include "tests/front/declared_test_file.h"

namespace vantrose {
namespace {

int32_t Derive(TestFile& t, TableState& state) { return DeriveDescriptors(t.file, state); }

TEST(DeriveDescriptors, SmallDeclaration) {
  TestFile t;
  TableState state;
  ASSERT_EQ(Derive(t, state), 0);
  ASSERT_EQ(state.fields.size(), 6u);
  EXPECT_EQ(state.record_length, 40u);
  EXPECT_EQ(state.fields[0].name, "T:TITLE");
  EXPECT_EQ(state.fields[0].element_length, 24u);
  EXPECT_EQ(state.fields[2].type, TYPE_GROUP);
  EXPECT_EQ(state.fields[3].index, 3u);
  for (const FieldDescriptor& field : state.fields) EXPECT_EQ(field.over, 0) << field.label;

  ASSERT_EQ(state.keys.size(), 2u);
  const KeyDescriptor& title = state.keys[0];
  EXPECT_EQ(title.flags, KEY_DUP | KEY_NOCASE);
  ASSERT_EQ(title.ComponentCount(), 2u);
  EXPECT_EQ(title.components[0].field, &state.fields[0]);
  EXPECT_EQ(title.components[0].descending, 0);
  EXPECT_EQ(title.components[1].field, &state.fields[1]);  // -2: field 2 descending
  EXPECT_EQ(title.components[1].descending, 1);
  EXPECT_EQ(title.owner, &state);
  EXPECT_EQ(state.keys[1].flags, KEY_DUP | KEY_INDEX | KEY_DYNAMIC);
  EXPECT_EQ(state.keys[1].number, 1u);
  EXPECT_EQ(t.keys[0].descriptor, &state.keys[0]);

  ASSERT_EQ(state.memos.size(), 1u);
  EXPECT_EQ(state.memos[0].buffer, std::vector<char>(100, ' '));
  EXPECT_EQ(t.memos[0].buffer, state.memos[0].buffer.data());
}

// One change to the small declaration and the outcome it must give.
struct LimitCase {
  const char* what;
  void (*change)(TestFile&);
  int32_t expected;
};

TEST(DeriveDescriptors, LimitsAndErrors) {
  const LimitCase cases[] = {
      {"record of 15000 bytes", [](TestFile& t) { t.file.record_length = 15000; }, 0},
      {"record of 15001 bytes", [](TestFile& t) { t.file.record_length = 15001; }, ERR_INVALID_RECORD_DECL},
      {"240 keys", [](TestFile& t) { t.keys.resize(240); }, 0},
      {"241 keys", [](TestFile& t) { t.keys.resize(241); }, ERR_INVALID_RECORD_DECL},
      {"memo of 64000", [](TestFile& t) { t.memos[0].size = 64000; }, 0},
      {"memo of 64001", [](TestFile& t) { t.memos[0].size = 64001; }, ERR_INVALID_RECORD_DECL},
      {"record not a group", [](TestFile& t) { t.record[0].type = TYPE_STRING; }, ERR_INVALID_FIELD_TYPE},
      {"array key component",
       [](TestFile& t) { t.record[1].dimensions = {2}; t.record[1].element_size = 12; },
       ERR_INVALID_FIELD_TYPE},
      {"array field not in a key",
       [](TestFile& t) { t.record[6].dimensions = {2, 1}; t.record[6].element_size = 2; }, 0},
      {"component naming no field", [](TestFile& t) { t.keys[0].components = {7}; }, ERR_INVALID_FIELD_TYPE},
      {"component zero", [](TestFile& t) { t.keys[0].components = {0}; }, ERR_INVALID_FIELD_TYPE},
      {"REAL in the record", [](TestFile& t) { t.record[6].type = TYPE_REAL; t.record[6].element_size = 4; }, 0},
      {"BFLOAT4 in the record", [](TestFile& t) { t.record[6].type = TYPE_BFLOAT4; }, ERR_UNSUPPORTED_TYPE},
      {"BFLOAT4 over earlier bytes",
       [](TestFile& t) { t.record.push_back(Field("T:OVER", TYPE_BFLOAT4, 24, 4)); }, 0},
      {"field beyond the record", [](TestFile& t) { t.record[6].element_size = 5; }, ERR_INVALID_RECORD_DECL},
      {"array size overflowing 32 bits",
       [](TestFile& t) { t.record[6].dimensions = {65536, 65536}; t.record[6].element_size = 1; },
       ERR_INVALID_RECORD_DECL},
      {"zero dimension", [](TestFile& t) { t.record[6].dimensions = {0}; }, ERR_INVALID_FIELD_TYPE},
      {"leaving more groups than entered", [](TestFile& t) { t.record[2].level = 0; }, ERR_INVALID_FIELD_TYPE},
  };
  for (const LimitCase& c : cases) {
    TestFile t;
    c.change(t);
    TableState state;
    EXPECT_EQ(Derive(t, state), c.expected) << c.what;
    if (c.expected != 0) {
      EXPECT_TRUE(state.fields.empty() && state.keys.empty() && state.memos.empty()) << c.what;
      for (const DeclaredKey& key : t.keys) EXPECT_EQ(key.descriptor, nullptr) << c.what;
      EXPECT_EQ(t.memos[0].buffer, nullptr) << c.what;
    }
  }
}

TEST(DeriveDescriptors, GroupNestingLimit) {
  for (const size_t depth : {size_t{100}, size_t{101}}) {
    TestFile t;
    t.record.resize(1);
    for (size_t level = 1; level <= depth; ++level) {
      t.record.push_back(Field("T:G" + std::to_string(level), TYPE_GROUP, 0, 40, static_cast<uint8_t>(level)));
    }
    t.keys.clear();
    TableState state;
    EXPECT_EQ(Derive(t, state), depth == 100 ? 0 : ERR_INVALID_FIELD_TYPE) << depth;
  }
}

TEST(DeriveDescriptors, FieldOverMarksOverlaysAndOverlaidGroups) {
  TestFile t;
  t.keys.clear();
  // 7: a LONG over COUNT; 8: a group over TITLE, whose members 9 and 10
  // lie over other bytes through their group even at rising offsets.
  t.record.push_back(Field("T:COUNTOVER", TYPE_LONG, 24, 4));
  t.record.push_back(Field("T:TITLEOVER", TYPE_GROUP, 0, 24));
  t.record.push_back(Field("T:PART1", TYPE_STRING, 0, 12, 2));
  t.record.push_back(Field("T:PART2", TYPE_STRING, 12, 12, 2));
  TableState state;
  ASSERT_EQ(Derive(t, state), 0);
  ASSERT_EQ(state.fields.size(), 10u);
  const uint16_t expected_over[] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1};
  const uint32_t expected_overlaid[] = {0, 0, 0, 0, 0, 0, 2, 1, 0, 0};
  for (size_t i = 0; i < state.fields.size(); ++i) {
    EXPECT_EQ(state.fields[i].over, expected_over[i]) << state.fields[i].label;
    EXPECT_EQ(state.fields[i].overlaid_field, expected_overlaid[i]) << state.fields[i].label;
  }
}

TEST(DeriveDescriptors, MembersOfAnOrdinaryGroupAfterAnOverlaidOne) {
  TestFile t;
  t.keys.clear();
  t.file.record_length = 60;
  t.record.push_back(Field("T:OVERGROUP", TYPE_GROUP, 0, 8));
  t.record.push_back(Field("T:A", TYPE_LONG, 0, 4, 2));
  t.record.push_back(Field("T:B", TYPE_LONG, 4, 4, 2));
  t.record.push_back(Field("T:PLAIN", TYPE_GROUP, 40, 8));
  t.record.push_back(Field("T:C", TYPE_LONG, 40, 4, 2));
  t.record.push_back(Field("T:D", TYPE_LONG, 44, 4, 2));
  TableState state;
  ASSERT_EQ(Derive(t, state), 0);
  for (size_t i = 6; i < 9; ++i) EXPECT_EQ(state.fields[i].over, 1) << state.fields[i].label;
  for (size_t i = 9; i < 12; ++i) EXPECT_EQ(state.fields[i].over, 0) << state.fields[i].label;
}

// The catalogue layout: 33 fields (two groups) over 9301 bytes and 22 keys,
// two of them indexes without components.
TEST(DeriveDescriptors, CatalogueLayout) {
  struct Item { uint8_t type; uint32_t size; uint8_t level; };
  const Item items[] = {
      {TYPE_STRING, 100, 1}, {TYPE_STRING, 20, 1}, {TYPE_DECIMAL, 4, 1}, {TYPE_STRING, 50, 1},
      {TYPE_STRING, 20, 1}, {TYPE_STRING, 80, 1}, {TYPE_STRING, 80, 1}, {TYPE_STRING, 50, 1},
      {TYPE_STRING, 80, 1}, {TYPE_STRING, 25, 1}, {TYPE_STRING, 80, 1}, {TYPE_DECIMAL, 4, 1},
      {TYPE_STRING, 50, 1}, {TYPE_STRING, 50, 1}, {TYPE_STRING, 50, 1}, {TYPE_STRING, 50, 1},
      {TYPE_STRING, 80, 1}, {TYPE_STRING, 50, 1}, {TYPE_STRING, 80, 1}, {TYPE_STRING, 120, 1},
      {TYPE_BYTE, 1, 1}, {TYPE_GROUP, 8, 1}, {TYPE_LONG, 4, 2}, {TYPE_LONG, 4, 2},
      {TYPE_GROUP, 8, 1}, {TYPE_LONG, 4, 2}, {TYPE_LONG, 4, 2}, {TYPE_STRING, 80, 1},
      {TYPE_STRING, 50, 1}, {TYPE_BYTE, 1, 1}, {TYPE_STRING, 3000, 1}, {TYPE_STRING, 30, 1},
      {TYPE_STRING, 5000, 1},
  };
  const std::vector<std::vector<int32_t>> components = {
      {23, 24, 21}, {21}, {}, {4, 1}, {5, 1}, {}, {1, 6, 7}, {7, 1, 6}, {9, 1, 6}, {11, 1, 6},
      {14, 1}, {6, 1}, {8, 1}, {18, 1}, {10, 1}, {17, 1}, {15, 1}, {13, 1}, {16, 1}, {19, 1},
      {32, 1, 7}, {12, 1},
  };
  TestFile t;
  t.record.resize(1);
  uint32_t offset = 0;
  for (const Item& item : items) {
    t.record.push_back(Field("MOV:F", item.type, offset, item.size, item.level));
    if (item.type == TYPE_DECIMAL) t.record.back().places = 2;
    if (item.type != TYPE_GROUP) offset += item.size;
  }
  ASSERT_EQ(offset, 9301u);
  t.file.record_length = 9301;
  t.keys.clear();
  for (size_t k = 0; k < components.size(); ++k) {
    DeclaredKey key;
    key.components = components[k];
    key.attributes = k == 0 ? DKEY_DUP : (DKEY_DUP | DKEY_OPT | DKEY_NOCASE);
    if (components[k].empty()) key.attributes |= DKEY_INDEX;
    t.keys.push_back(key);
  }
  t.memos.clear();

  TableState state;
  ASSERT_EQ(Derive(t, state), 0);
  EXPECT_EQ(state.fields.size(), 33u);
  EXPECT_EQ(state.keys.size(), 22u);
  EXPECT_TRUE(state.memos.empty());
  for (const FieldDescriptor& field : state.fields) EXPECT_EQ(field.over, 0);
  for (size_t k = 0; k < state.keys.size(); ++k) {
    EXPECT_EQ((state.keys[k].flags & KEY_DYNAMIC) != 0, k == 2 || k == 5) << k;
  }
  EXPECT_EQ(state.keys[0].components[0].field->offset, 1124u);
  EXPECT_EQ(state.fields[11].element_size, 4);
  EXPECT_EQ(state.fields[11].places, 2);
}

}  // namespace
}  // namespace vantrose
