#include "engine/table/key_value.h"

#include <gtest/gtest.h>


#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/storage/corruption.h"
#include "engine/storage/commit.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_tree.h"
#include "engine/table/collation.h"
#include "engine/table/collation_record.h"
#include "engine/table/record_kinds.h"
#include "engine/table/table_records.h"
#include "runtime/declared.h"
#include "tests/support/files.h"

namespace vantrose {
namespace {

using Bytes = std::vector<uint8_t>;

// A table of one field per case: the key has that one component, and the
// record is exactly the field, so any read outside it shows under the
// address sanitizer.
class OneFieldTable {
 public:
  OneFieldTable(uint8_t type, uint32_t size, uint8_t key_flags = 0, bool descending = false) {
    FieldDescriptor field;
    field.type = type;
    field.size = size;
    state_.fields.push_back(field);
    state_.record_length = size;
    KeyDescriptor key;
    key.owner = &state_;
    key.flags = key_flags;
    key.number = 3;
    key.components.push_back({&state_.fields[0], uint8_t(descending ? 1 : 0)});
    state_.keys.push_back(key);
    state_.table_number = 0x01020304;
  }

  TableState& state() { return state_; }
  const KeyDescriptor& key() const { return state_.keys[0]; }

  Bytes Form(const Bytes& record) const {
    Bytes out(KeyValueLength(key()), 0xEE);
    FormKeyValue(state_, key(), out.data(), record);
    return out;
  }

 private:
  TableState state_;
};

Bytes Le(uint64_t value, size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(value >> (8 * i));
  return bytes;
}
Bytes Long(int32_t v) { return Le(uint32_t(v), 4); }
Bytes Short(int16_t v) { return Le(uint16_t(v), 2); }
Bytes Real(double v) {
  Bytes bytes(8);
  std::memcpy(bytes.data(), &v, 8);
  return bytes;
}
Bytes SReal(float v) {
  Bytes bytes(4);
  std::memcpy(bytes.data(), &v, 4);
  return bytes;
}
Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

uint8_t W(uint8_t b) { return BuiltInCollation().ansi_weight[b]; }
Bytes Weights(const std::string& text) {
  Bytes weights;
  for (char c : text) weights.push_back(W(uint8_t(c)));
  return weights;
}

// Exact parts, one per case.
TEST(FormKeyValueTest, PartsByType) {
  Bytes pstring200(201, 'x');
  pstring200[0] = 200;
  Bytes pstring_long(10, 'y');  // length byte 255 in a 10-byte field
  pstring_long[0] = 255;

  struct Case {
    const char* name;
    uint8_t type;
    uint32_t size;
    bool descending;
    Bytes record;
    Bytes part;
  } cases[] = {
      {"LONG -1", TYPE_LONG, 4, false, Long(-1), {0x7F, 0xFF, 0xFF, 0xFF}},
      {"LONG 0", TYPE_LONG, 4, false, Long(0), {0x80, 0x00, 0x00, 0x00}},
      {"LONG 1", TYPE_LONG, 4, false, Long(1), {0x80, 0x00, 0x00, 0x01}},
      {"LONG 1 descending", TYPE_LONG, 4, true, Long(1), {0x7F, 0xFF, 0xFF, 0xFE}},
      {"SHORT 0x1234", TYPE_SHORT, 2, false, Short(0x1234), {0x92, 0x34}},
      {"USHORT 0x1234", TYPE_USHORT, 2, false, Short(0x1234), {0x12, 0x34}},
      {"ULONG", TYPE_ULONG, 4, false, Le(0xFEDCBA98, 4), {0xFE, 0xDC, 0xBA, 0x98}},
      {"DATE", TYPE_DATE, 4, false, Le(0x00012345, 4), {0x00, 0x01, 0x23, 0x45}},
      {"REAL 1.0", TYPE_REAL, 8, false, Real(1.0), {0xBF, 0xF0, 0, 0, 0, 0, 0, 0}},
      {"REAL -1.0", TYPE_REAL, 8, false, Real(-1.0), {0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"REAL -1.0 descending", TYPE_REAL, 8, true, Real(-1.0), {0xBF, 0xF0, 0, 0, 0, 0, 0, 0}},
      {"DECIMAL 12.00", TYPE_DECIMAL, 4, false, {0x00, 0x00, 0x12, 0x00}, {0x80, 0x00, 0x12, 0x00}},
      {"DECIMAL -12.00", TYPE_DECIMAL, 4, false, {0xF0, 0x00, 0x12, 0x00}, {0x7F, 0xFF, 0xED, 0xFF}},
      {"DECIMAL -12.00 descending", TYPE_DECIMAL, 4, true, {0xF0, 0x00, 0x12, 0x00}, {0x80, 0x00, 0x12, 0x00}},
      {"BYTE as stored", TYPE_BYTE, 1, false, {0xA5}, {0xA5}},
      {"BYTE descending", TYPE_BYTE, 1, true, {0xA5}, {0x5A}},
      {"STRING", TYPE_STRING, 4, false, Text("Ab  "), Weights("Ab  ")},
      {"CSTRING AB in 5", TYPE_CSTRING, 5, false, Text("AB\0zz"), Weights(std::string("AB\0\0\0", 5))},
      {"CSTRING without terminator", TYPE_CSTRING, 3, false, Text("xyz"), Weights("xyz")},
      {"PSTRING length 3", TYPE_PSTRING, 6, false, {3, 'a', 'b', 'c', 'd', 'e'},
       Weights(std::string("abc\0\0\0", 6))},
      {"PSTRING length 200", TYPE_PSTRING, 201, false, pstring200,
       Weights(std::string(200, 'x') + std::string(1, '\0'))},
      {"PSTRING length byte past the field", TYPE_PSTRING, 10, false, pstring_long,
       Weights(std::string(9, 'y') + std::string(1, '\0'))},
  };
  for (const Case& c : cases) {
    OneFieldTable table(c.type, c.size, 0, c.descending);
    EXPECT_EQ(table.Form(c.record), c.part) << c.name;
  }
}

// Keys sort as the values they are formed from, in both directions.
template <typename T>
void ExpectOrdered(uint8_t type, uint32_t size, const std::vector<T>& ascending,
                   Bytes (*encode)(T)) {
  for (bool descending : {false, true}) {
    OneFieldTable table(type, size, 0, descending);
    for (size_t i = 0; i + 1 < ascending.size(); ++i) {
      const Bytes lower = table.Form(encode(ascending[i]));
      const Bytes higher = table.Form(encode(ascending[i + 1]));
      if (descending) {
        EXPECT_GT(lower, higher) << "descending, at " << i;
      } else {
        EXPECT_LT(lower, higher) << "ascending, at " << i;
      }
    }
  }
}

TEST(FormKeyValueTest, NumbersSortByValue) {
  ExpectOrdered<int32_t>(TYPE_LONG, 4, {INT32_MIN, -70000, -2, -1, 0, 1, 255, 256, INT32_MAX}, Long);
  ExpectOrdered<int16_t>(TYPE_SHORT, 2, {INT16_MIN, -1, 0, 1, 0x1234, INT16_MAX}, Short);
  ExpectOrdered<double>(TYPE_REAL, 8, {-1e300, -2.0, -1.0, -0.5, 0.0, 1e-300, 1.0, 2.0, 1e300}, Real);
  ExpectOrdered<float>(TYPE_SREAL, 4, {-3e38f, -2.0f, -1.0f, 0.0f, 1.0f, 2.5f, 3e38f}, SReal);
  ExpectOrdered<int32_t>(TYPE_DECIMAL, 4, {-9999999, -1200, -1, 0, 1, 1200, 9999999},
                         [](int32_t v) {  // DECIMAL(7,2) of v hundredths
                           Bytes b(4, 0);
                           uint32_t digits = uint32_t(v < 0 ? -v : v);
                           for (int nibble = 7; nibble >= 1; --nibble, digits /= 10) {
                             b[nibble / 2] |= uint8_t((digits % 10) << (nibble % 2 ? 0 : 4));
                           }
                           if (v < 0) b[0] |= 0xF0;
                           return b;
                         });
}

TEST(FormKeyValueTest, DecimalSignDecidesTheFirstByte) {
  OneFieldTable table(TYPE_DECIMAL, 4);
  EXPECT_LT(table.Form({0xF0, 0x00, 0x00, 0x01})[0], 0x80);  // -0.01
  EXPECT_LT(table.Form({0xF0, 0x00, 0x00, 0x00})[0], 0x80);  // -0.00 stays below 0
  EXPECT_GE(table.Form({0x00, 0x00, 0x00, 0x00})[0], 0x80);
  EXPECT_GE(table.Form({0x09, 0x99, 0x99, 0x99})[0], 0x80);
  // Any nonzero sign nibble is negative.
  EXPECT_EQ(table.Form({0xD0, 0x00, 0x12, 0x00}), table.Form({0xF0, 0x00, 0x12, 0x00}));
}

TEST(FormKeyValueTest, TextSortsByCollation) {
  OneFieldTable table(TYPE_STRING, 8);
  auto form = [&](const char* text) {
    std::string padded(text);
    padded.resize(8, ' ');
    return table.Form(Text(padded));
  };
  // Shorter before longer, letters alphabetically whatever their case,
  // accented letters beside their base letter, digits before letters.
  const char* ascending[] = {"", "9 lives", "AB", "ABC", "Abc", "apple", "\xC4rger",
                             "Banana", "banana", "Zebra", "\xDE" "orn"};
  for (size_t i = 0; i + 1 < std::size(ascending); ++i) {
    EXPECT_LT(form(ascending[i]), form(ascending[i + 1])) << ascending[i];
  }
}

TEST(FormKeyValueTest, NoCaseFoldsThroughTheUpperCaseMap) {
  OneFieldTable nocase(TYPE_STRING, 12, KEY_NOCASE);
  OneFieldTable exact(TYPE_STRING, 12);
  const Bytes lower = Text("stra\xDF" "e \xE9t\xE9  "), upper = Text("STRA\xDF" "E \xC9T\xC9  ");
  EXPECT_EQ(nocase.Form(lower), nocase.Form(upper));
  EXPECT_NE(exact.Form(lower), exact.Form(upper));
  EXPECT_EQ(nocase.Form(upper), exact.Form(upper));
  OneFieldTable nocase_cstring(TYPE_CSTRING, 6, KEY_NOCASE);
  EXPECT_EQ(nocase_cstring.Form(Text(std::string("ab\0xy!", 6))),
            nocase_cstring.Form(Text(std::string("AB\0QQ?", 6))));
}

TEST(FormKeyValueTest, OemTablesKeepTheOrderOfSharedCharacters) {
  OneFieldTable ansi(TYPE_STRING, 6);
  OneFieldTable oem(TYPE_STRING, 6);
  oem.state().attributes |= ATTR_OEM;
  const char* texts[] = {"  ", "1 ", "A", "a", "\xC4", "\xE9t\xE9", "Zoo"};
  for (const char* a : texts) {
    for (const char* b : texts) {
      std::string pa(a), pb(b);
      pa.resize(6, ' ');
      pb.resize(6, ' ');
      EXPECT_EQ(ansi.Form(Text(pa)) < ansi.Form(Text(pb)), oem.Form(Text(pa)) < oem.Form(Text(pb)))
          << a << " / " << b;
    }
  }
  // A letter that code page 437 lacks is formed as its best fit.
  EXPECT_EQ(oem.Form(Text("\xC0" "B    ")), oem.Form(Text("AB    ")));
  EXPECT_NE(ansi.Form(Text("\xC0" "B    ")), ansi.Form(Text("AB    ")));
}

TEST(FormKeyValueTest, ExpansionsRewriteThePartFromItsOwnBytes) {
  CollationTables tables = BuiltInCollation();
  const uint8_t entries[] = {0xDF, 's', 's', 0, 0xC6, 'A', 'E', 0};  // sharp s, AE
  std::memcpy(tables.expansions, entries, sizeof entries);

  struct Case {
    std::string text, same_as;
    bool oem;
  } cases[] = {
      {"Stra\xDF" "e  ", "Strasse ", false},
      {"\xC6gir   ", "AEgir   ", false},
      {"abc\xDF\xDF\xDF\xDF\xDF", "abcsssss", false},  // what no longer fits is dropped
      {"Stra\xDF" "e  ", "Strasse ", true},
  };
  for (const Case& c : cases) {
    OneFieldTable table(TYPE_STRING, 8);
    table.state().collation = &tables;
    if (c.oem) table.state().attributes |= ATTR_OEM;
    EXPECT_EQ(table.Form(Text(c.text)), table.Form(Text(c.same_as))) << c.text;
  }
  OneFieldTable cstring(TYPE_CSTRING, 4);
  cstring.state().collation = &tables;
  EXPECT_EQ(cstring.Form(Text(std::string("\xDF\0\0\0", 4))), Weights(std::string("ss\0\0", 4)));
}

TEST(FormKeyValueTest, ComponentsFollowEachOtherInOrder) {
  TableState state;
  state.record_length = 10;
  state.fields.resize(2);
  state.fields[0].type = TYPE_STRING;
  state.fields[0].size = 6;
  state.fields[1].type = TYPE_LONG;
  state.fields[1].offset = 6;
  state.fields[1].size = 4;
  KeyDescriptor key;
  key.components = {{&state.fields[1], 1}, {&state.fields[0], 0}};
  EXPECT_EQ(KeyValueLength(key), 10u);
  Bytes record = Text("ab    ");
  const Bytes one = Long(1);
  record.insert(record.end(), one.begin(), one.end());
  Bytes out(10);
  FormKeyValue(state, key, out.data(), record);
  Bytes expected = {0x7F, 0xFF, 0xFF, 0xFE};
  const Bytes text = Weights("ab    ");
  expected.insert(expected.end(), text.begin(), text.end());
  EXPECT_EQ(out, expected);
}

TEST(FormKeyValueTest, FieldOutsideTheRecordFormsZerosWithoutReadingPastIt) {
  TableState state;
  state.fields.resize(1);
  state.fields[0].type = TYPE_LONG;
  state.fields[0].offset = 2;
  state.fields[0].size = 4;
  KeyDescriptor key;
  key.components = {{&state.fields[0], 0}};
  const Bytes record = {0x11, 0x22, 0x33};  // field reaches 3 bytes past the end
  Bytes out(4);
  FormKeyValue(state, key, out.data(), record);
  EXPECT_EQ(out, (Bytes{0x80, 0x00, 0x00, 0x33}));
  // Fields wholly past the end form as empty ones.
  for (uint8_t type : {TYPE_STRING, TYPE_CSTRING, TYPE_PSTRING, TYPE_BYTE}) {
    state.fields[0].type = type;
    state.fields[0].offset = 3;
    FormKeyValue(state, key, out.data(), record);
    const Bytes zero(4, 0);
    EXPECT_EQ(out, type == TYPE_BYTE ? zero : Weights(std::string(4, '\0'))) << int(type);
  }
}

TEST(FormEntryTest, LayoutWithAndWithoutDuplicates) {
  for (bool dup : {false, true}) {
    OneFieldTable table(TYPE_LONG, 4, dup ? KEY_DUP : 0);
    RecordNodePtr entry = FormEntry(table.state(), table.key(), Long(1));
    ASSERT_EQ(entry->total_length(), 13);
    EXPECT_EQ(entry->key_length(), dup ? 13 : 9);
    SetEntryRecordNumber(*entry, 0xA1B2C3D4);
    const Bytes all(entry->all().begin(), entry->all().end());
    EXPECT_EQ(all, (Bytes{1, 2, 3, 4, 3, 0x80, 0, 0, 1, 0xA1, 0xB2, 0xC3, 0xD4})) << dup;
    EXPECT_EQ(EntryRecordNumber(*entry), 0xA1B2C3D4u);
  }
}

TEST(FormEntryTest, WithoutARecordTheValueIsLeftForTheCaller) {
  OneFieldTable table(TYPE_LONG, 4);
  RecordNodePtr probe = FormEntry(table.state(), table.key(), {});
  const Bytes all(probe->all().begin(), probe->all().end());
  EXPECT_EQ(all, (Bytes{1, 2, 3, 4, 3, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(FormEntryTest, AValueTooLongForAnEntryIsReported) {
  MarkEngineOperationInProgress();
  OneFieldTable longest(TYPE_STRING, 15084);
  EXPECT_EQ(FormEntry(longest.state(), longest.key(), {})->total_length(), 15093);
  OneFieldTable too_long(TYPE_STRING, 15085);
  // Sizes of a damaged definition whose sum would wrap round to 0.
  OneFieldTable wrapping(TYPE_STRING, 0x80000000u);
  KeyDescriptor& twice = wrapping.state().keys[0];
  twice.components.push_back(twice.components[0]);
  EXPECT_EQ(KeyValueLength(twice), UINT32_MAX);
  for (OneFieldTable* table : {&too_long, &wrapping}) {
    try {
      FormEntry(table->state(), table->key(), Text("abc"));
      ADD_FAILURE() << "no report";
    } catch (const CorruptionUnwind& unwind) {
      EXPECT_EQ(unwind.code, 824u);
    }
  }
}

TEST(IsBlankForKeyTest, BlankComponentsByType) {
  struct Case {
    const char* name;
    uint8_t type;
    Bytes record;
    bool blank;
  } cases[] = {
      {"STRING spaces", TYPE_STRING, Text("    "), true},
      {"STRING text", TYPE_STRING, Text("   x"), false},
      {"STRING zeros are not blank", TYPE_STRING, Bytes(4, 0), false},
      {"GROUP spaces", TYPE_GROUP, Text("    "), true},
      {"CSTRING empty", TYPE_CSTRING, Text(std::string("\0abc", 4)), true},
      {"CSTRING text", TYPE_CSTRING, Text(std::string("a\0\0\0", 4)), false},
      {"PSTRING empty", TYPE_PSTRING, {0, 'x', 'y', 'z'}, true},
      {"PSTRING text", TYPE_PSTRING, {1, 'x', 'y', 'z'}, false},
      {"LONG zero", TYPE_LONG, Long(0), true},
      {"LONG nonzero", TYPE_LONG, Long(0x01000000), false},
      {"DECIMAL -0.00", TYPE_DECIMAL, {0xF0, 0, 0, 0}, false},
  };
  for (const Case& c : cases) {
    OneFieldTable optional(c.type, 4, KEY_OPT);
    EXPECT_EQ(IsBlankForKey(optional.key(), c.record), c.blank) << c.name;
    OneFieldTable plain(c.type, 4);
    EXPECT_FALSE(IsBlankForKey(plain.key(), c.record)) << c.name;
  }
}

TEST(IsBlankForKeyTest, EveryComponentMustBeBlank) {
  TableState state;
  state.fields.resize(2);
  state.fields[0].type = TYPE_STRING;
  state.fields[0].size = 3;
  state.fields[1].type = TYPE_BYTE;
  state.fields[1].offset = 3;
  state.fields[1].size = 1;
  KeyDescriptor key;
  key.flags = KEY_OPT | KEY_DUP | KEY_NOCASE;
  key.components = {{&state.fields[0], 0}, {&state.fields[1], 1}};
  EXPECT_TRUE(IsBlankForKey(key, Bytes{' ', ' ', ' ', 0}));
  EXPECT_FALSE(IsBlankForKey(key, Bytes{' ', ' ', ' ', 1}));
  EXPECT_FALSE(IsBlankForKey(key, Bytes{' ', 'a', ' ', 0}));
}

// Catalogues written by another program, with their keys built: every entry
// formed here from a record, with the file's own collation tables, must be
// in the file, and nothing else is. This checks the whole key encoding
// (LONG and DECIMAL money, BYTE, GROUP of LONGs, NOCASE text, OPT blanks)
// against an independent writer of the format.
class CatalogueKeysTest : public ::testing::TestWithParam<const char*> {
 protected:
  // The catalogue record: 33 fields (two groups), 22 keys of which two are
  // dynamic indexes. Version 2 keeps its money in LONGs, version 3 in
  // DECIMAL(7,2).
  void DescribeCatalogue(bool version3) {
    struct Field {
      uint8_t type;
      uint32_t size, offset;
    };
    const uint8_t money = version3 ? TYPE_DECIMAL : TYPE_LONG;
    const Field fields[] = {
        {TYPE_STRING, 100, 0},   {TYPE_STRING, 20, 100},  {money, 4, 120},
        {TYPE_STRING, 50, 124},  {TYPE_STRING, 20, 174},  {TYPE_STRING, 80, 194},
        {TYPE_STRING, 80, 274},  {TYPE_STRING, 50, 354},  {TYPE_STRING, 80, 404},
        {TYPE_STRING, 25, 484},  {TYPE_STRING, 80, 509},  {money, 4, 589},
        {TYPE_STRING, 50, 593},  {TYPE_STRING, 50, 643},  {TYPE_STRING, 50, 693},
        {TYPE_STRING, 50, 743},  {TYPE_STRING, 80, 793},  {TYPE_STRING, 50, 873},
        {TYPE_STRING, 80, 923},  {TYPE_STRING, 120, 1003}, {TYPE_BYTE, 1, 1123},
        {TYPE_GROUP, 8, 1124},   {TYPE_LONG, 4, 1124},    {TYPE_LONG, 4, 1128},
        {TYPE_GROUP, 8, 1132},   {TYPE_LONG, 4, 1132},    {TYPE_LONG, 4, 1136},
        {TYPE_STRING, 80, 1140}, {TYPE_STRING, 50, 1220}, {TYPE_BYTE, 1, 1270},
        {TYPE_STRING, 3000, 1271}, {TYPE_STRING, 30, 4271}, {TYPE_STRING, 5000, 4301},
    };
    for (const Field& f : fields) {
      FieldDescriptor field;
      field.type = f.type;
      field.size = f.size;
      field.offset = f.offset;
      if (f.type == TYPE_DECIMAL) {
        field.places = 2;
        field.element_size = 4;
      }
      state_.fields.push_back(field);
    }
    state_.record_length = 9301;
    constexpr uint8_t kText = KEY_DUP | KEY_OPT | KEY_NOCASE;
    const std::vector<int> none;
    const struct {
      uint8_t flags;
      std::vector<int> fields;  // 1-based
    } keys[] = {
        {KEY_DUP, {23, 24, 21}}, {kText, {21}}, {kText | KEY_INDEX | KEY_DYNAMIC, none},
        {kText, {4, 1}}, {kText, {5, 1}}, {kText | KEY_INDEX | KEY_DYNAMIC, none},
        {kText, {1, 6, 7}}, {kText, {7, 1, 6}}, {kText, {9, 1, 6}}, {kText, {11, 1, 6}},
        {kText, {14, 1}}, {kText, {6, 1}}, {kText, {8, 1}}, {kText, {18, 1}},
        {kText, {10, 1}}, {kText, {17, 1}}, {kText, {15, 1}}, {kText, {13, 1}},
        {kText, {16, 1}}, {kText, {19, 1}}, {kText, {32, 1, 7}}, {kText, {12, 1}},
    };
    state_.keys.resize(std::size(keys));
    for (size_t i = 0; i < std::size(keys); ++i) {
      state_.keys[i].number = uint32_t(i);
      state_.keys[i].flags = keys[i].flags;
      for (int field : keys[i].fields) state_.keys[i].components.push_back({&state_.fields[field - 1], 0});
    }
  }

  void TearDown() override {
    if (opened_) StoreClose(store_);
    ReleaseCollation(state_);
  }

  void Open(const std::string& name) {
    path_ = scratch_.File(name);
    std::filesystem::copy_file(std::string(VANTROSE_TEST_DATA) + "/" + name, path_,
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(StoreOpen(store_, path_, OPEN_READ_ONLY | OPEN_DENY_NONE, ""), 0);
    opened_ = true;
    state_.store = &store_;
    ASSERT_TRUE(FindTableNumber(store_, "UNNAMED", &state_.table_number));
    ASSERT_TRUE(LoadCollation(state_, false));
  }

  // Every record of one kind of the table, in order.
  std::vector<Bytes> RecordsOfKind(uint8_t kind) {
    std::vector<Bytes> records;
    for (const RecordNode* record = FirstOfKind(store_, state_.table_number, kind);
         record != nullptr && KeyTable(record->bytes()) == state_.table_number &&
         KeyKind(record->bytes()) == kind;) {
      records.emplace_back(record->all().begin(), record->all().end());
      RecordNodePtr probe = RecordNode::KeyCopy(*record);
      record = FindNext(store_, *probe);
    }
    return records;
  }

  FileStore store_;
  bool opened_ = false;
  testing::ScratchDir scratch_;
  std::string path_;
  TableState state_;
};

TEST_P(CatalogueKeysTest, EntriesFormedHereAreTheEntriesInTheFile) {
  const std::string name = GetParam();
  DescribeCatalogue(name.find("-v3-") != std::string::npos);
  Open(name);
  const std::vector<Bytes> data = RecordsOfKind(KIND_DATA);
  ASSERT_GE(data.size(), 50u);
  for (const KeyDescriptor& key : state_.keys) {
    if (key.flags & KEY_DYNAMIC) continue;
    std::vector<Bytes> stored = RecordsOfKind(uint8_t(key.number));
    std::vector<Bytes> formed;
    for (const Bytes& record : data) {
      const std::span<const uint8_t> image = std::span<const uint8_t>(record).subspan(kDataKeyLength);
      if (IsBlankForKey(key, image)) continue;
      RecordNodePtr entry = FormEntry(state_, key, image);
      SetEntryRecordNumber(*entry, LoadBE32(record.data() + kTablePrefixLength));
      formed.emplace_back(entry->all().begin(), entry->all().end());
    }
    std::sort(formed.begin(), formed.end());  // entry order is byte order
    EXPECT_EQ(formed, stored) << name << ", key " << key.number;
    EXPECT_FALSE(stored.empty()) << name << ", key " << key.number;
  }
}

INSTANTIATE_TEST_SUITE_P(WrittenElsewhere, CatalogueKeysTest,
                         ::testing::Values("catalogue-v2-300.crz", "catalogue-v3-50.crz"));

}  // namespace
}  // namespace vantrose
