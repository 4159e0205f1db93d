#include "engine/table/definition.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/table/table_state.h"
#include "runtime/declared.h"

namespace vantrose {
namespace {

// Pieces held in memory, cut from a stream as the writer cuts it.
class MemoryPieces : public DefinitionPieceSource {
 public:
  explicit MemoryPieces(const std::vector<uint8_t>& stream) {
    for (size_t at = 0, k = 0; at < stream.size(); at += kDefinitionPieceSize, ++k) {
      size_t n = std::min(kDefinitionPieceSize, stream.size() - at);
      pieces[static_cast<uint16_t>(k)].assign(stream.begin() + at, stream.begin() + at + n);
    }
  }
  bool Fetch(uint16_t piece, uint8_t* chunk, size_t* length) override {
    auto it = pieces.find(piece);
    if (it == pieces.end()) return false;
    std::memcpy(chunk, it->second.data(), it->second.size());
    *length = it->second.size();
    return true;
  }
  std::map<uint16_t, std::vector<uint8_t>> pieces;
};

FieldDescriptor Field(uint8_t type, uint32_t offset, uint32_t size, std::string name) {
  FieldDescriptor f;
  f.type = type;
  f.offset = offset;
  f.size = size;
  f.name = std::move(name);
  if (type == TYPE_DECIMAL) {
    f.places = 2;
    f.element_size = static_cast<uint8_t>(size);
  } else if (type == TYPE_STRING) {
    f.element_length = size;
  }
  return f;
}

// A small table: the record group, a string with a picture, a long, a
// decimal, a string lying over the long; two keys and a memo.
class Table : public TableState {
 public:
  Table() {
    record_length = 60;
    fields = {Field(TYPE_GROUP, 0, 60, "REC:RECORD"), Field(TYPE_STRING, 0, 40, "REC:TITLE"),
              Field(TYPE_LONG, 40, 4, "REC:COUNT"), Field(TYPE_DECIMAL, 44, 6, "REC:PRICE"),
              Field(TYPE_STRING, 40, 4, "REC:RAW")};
    fields[1].picture = "@s40";
    fields[1].over = 1;  // starts where the record group starts
    fields[4].over = 1;
    for (uint32_t i = 0; i < fields.size(); ++i) fields[i].index = i;
    keys.resize(2);
    keys[0].label = "REC:TITLEKEY";
    keys[0].flags = KEY_NOCASE | KEY_DUP;
    keys[0].components = {{&fields[1], 0}, {&fields[2], 1}};
    keys[1].label = "REC:COUNTKEY";
    keys[1].external_name = "CountKey";
    keys[1].flags = KEY_PRIMARY;
    keys[1].components = {{&fields[2], 0}};
    memos.resize(1);
    memos[0].label = "REC:NOTES";
    memos[0].size = 1000;
  }
  Table(const Table&) = delete;
};

uint16_t WordAt(const std::vector<uint8_t>& s, size_t at) {
  return static_cast<uint16_t>(s[at] | (s[at + 1] << 8));
}

DefinitionMatch CompareWith(const TableState& declared, const std::vector<uint8_t>& stream) {
  MemoryPieces pieces(stream);
  return CompareDefinitionStream(declared, pieces);
}

TEST(DefinitionStreamTest, HeaderCountsAndVersion) {
  TableState state;
  state.record_length = 9301;
  state.fields.resize(33);
  state.keys.resize(22);
  std::vector<uint8_t> s = EncodeDefinition(state);
  EXPECT_EQ(WordAt(s, 0), 1);
  EXPECT_EQ(WordAt(s, 2), 9301);
  EXPECT_EQ(WordAt(s, 4), 33);
  EXPECT_EQ(WordAt(s, 6), 0);
  EXPECT_EQ(WordAt(s, 8), 22);

  Table blob;
  blob.memos[0].flags = MEMO_BLOB;
  EXPECT_EQ(WordAt(EncodeDefinition(blob), 0), 2);
}

TEST(DefinitionStreamTest, TextForms) {
  TableState state;
  state.record_length = 10;
  state.fields = {Field(TYPE_STRING, 0, 10, "S")};  // empty picture
  state.keys.resize(1);                                // absent external name
  state.keys[0].label = "K";
  std::vector<uint8_t> s = EncodeDefinition(state);
  const std::vector<uint8_t> field = {TYPE_STRING, 0, 0, 'S', 0, 1, 0, 10, 0, 0, 0, 0, 0,
                                      10, 0, 0, 0};
  const std::vector<uint8_t> key = {0, 1, 'K', 0, 0, 0, 0};
  ASSERT_EQ(s.size(), 10 + field.size() + key.size());
  EXPECT_EQ(std::vector<uint8_t>(s.begin() + 10, s.begin() + 10 + field.size()), field);
  EXPECT_EQ(std::vector<uint8_t>(s.end() - key.size(), s.end()), key);
}

TEST(DefinitionStreamTest, ComparesEqualWithItself) {
  Table table;
  EXPECT_EQ(CompareWith(table, EncodeDefinition(table)), DEFINITION_EQUAL);
}

// What a program may change in its declaration without losing its file, and
// what it may not.
TEST(DefinitionStreamTest, ToleratedAndIntolerableDifferences) {
  struct Case {
    const char* what;
    std::function<void(Table&)> change;
    DefinitionMatch expected;
  };
  const Case cases[] = {
      {"field renamed", [](Table& t) { t.fields[2].name = "REC:TOTAL"; }, DEFINITION_TOLERATED},
      {"picture changed", [](Table& t) { t.fields[1].picture = "@s20"; }, DEFINITION_TOLERATED},
      {"decimal places", [](Table& t) { t.fields[3].places = 3; }, DEFINITION_TOLERATED},
      {"string element length", [](Table& t) { t.fields[1].element_length = 20; },
       DEFINITION_TOLERATED},
      {"key renamed", [](Table& t) { t.keys[0].label = "REC:K"; }, DEFINITION_TOLERATED},
      {"key external name added", [](Table& t) { t.keys[0].external_name = "X"; },
       DEFINITION_TOLERATED},
      {"memo renamed", [](Table& t) { t.memos[0].label = "REC:M"; }, DEFINITION_TOLERATED},
      {"memo flags", [](Table& t) { t.memos[0].flags = MEMO_BINARY; }, DEFINITION_EQUAL},
      {"PRIMARY added", [](Table& t) { t.keys[0].flags |= KEY_PRIMARY; }, DEFINITION_EQUAL},
      {"PRIMARY dropped", [](Table& t) { t.keys[1].flags = 0; }, DEFINITION_EQUAL},
      {"record length", [](Table& t) { t.record_length = 61; }, DEFINITION_DIFFERENT},
      {"field type", [](Table& t) { t.fields[2].type = TYPE_ULONG; }, DEFINITION_DIFFERENT},
      {"field offset", [](Table& t) { t.fields[3].offset = 45; }, DEFINITION_DIFFERENT},
      {"field size", [](Table& t) { t.fields[3].size = 7; }, DEFINITION_DIFFERENT},
      {"element count", [](Table& t) { t.fields[1].element_count = 2; }, DEFINITION_DIFFERENT},
      {"over word", [](Table& t) { t.fields[4].over = 0; }, DEFINITION_DIFFERENT},
      {"field added", [](Table& t) { t.fields.push_back(Field(TYPE_BYTE, 50, 1, "B")); },
       DEFINITION_DIFFERENT},
      {"DUP dropped", [](Table& t) { t.keys[0].flags &= ~KEY_DUP; }, DEFINITION_DIFFERENT},
      {"OPT added", [](Table& t) { t.keys[1].flags |= KEY_OPT; }, DEFINITION_DIFFERENT},
      {"NOCASE added", [](Table& t) { t.keys[1].flags |= KEY_NOCASE; }, DEFINITION_DIFFERENT},
      {"component direction", [](Table& t) { t.keys[0].components[1].descending = 0; },
       DEFINITION_DIFFERENT},
      {"component field", [](Table& t) { t.keys[1].components[0].field = &t.fields[3]; },
       DEFINITION_DIFFERENT},
      {"component dropped", [](Table& t) { t.keys[0].components.pop_back(); },
       DEFINITION_DIFFERENT},
      {"key dropped", [](Table& t) { t.keys.pop_back(); }, DEFINITION_DIFFERENT},
      {"memo size", [](Table& t) { t.memos[0].size = 999; }, DEFINITION_DIFFERENT},
      {"memo became a BLOB", [](Table& t) { t.memos[0].flags = MEMO_BLOB; },
       DEFINITION_DIFFERENT},
  };
  Table stored;
  const std::vector<uint8_t> stream = EncodeDefinition(stored);
  for (const Case& c : cases) {
    Table declared;
    c.change(declared);
    EXPECT_EQ(CompareWith(declared, stream), c.expected) << c.what;
  }
}

TEST(DefinitionStreamTest, BlobSizeIsNotCompared) {
  Table stored;
  stored.memos[0].flags = MEMO_BLOB;
  Table declared;
  declared.memos[0].flags = MEMO_BLOB;
  declared.memos[0].size = 5;
  EXPECT_EQ(CompareWith(declared, EncodeDefinition(stored)), DEFINITION_EQUAL);
  // A BLOB stored, the same size declared as a MEMO: version 2 against 1.
  EXPECT_EQ(CompareWith(Table(), EncodeDefinition(stored)), DEFINITION_DIFFERENT);
}

TEST(DefinitionStreamTest, ReadBuildsDescriptorsFromTheStream) {
  Table stored;
  stored.fields[3].places = 1;
  std::vector<uint8_t> stream = EncodeDefinition(stored);
  MemoryPieces pieces(stream);
  TableState read;
  ASSERT_EQ(ReadDefinitionStream(read, pieces), 0);
  EXPECT_EQ(read.record_length, 60u);
  ASSERT_EQ(read.fields.size(), 5u);
  EXPECT_EQ(read.fields[1].name, "REC:TITLE");
  EXPECT_EQ(read.fields[1].picture, "@s40");
  EXPECT_EQ(read.fields[3].places, 1);
  EXPECT_EQ(read.fields[4].overlaid_field, 3u);  // REC:COUNT is the first field at 40
  ASSERT_EQ(read.keys.size(), 2u);
  EXPECT_EQ(read.keys[0].components[1].field, &read.fields[2]);
  EXPECT_EQ(read.keys[0].components[1].descending, 1);
  EXPECT_EQ(read.keys[1].external_name, "CountKey");
  EXPECT_EQ(read.keys[1].number, 1u);
  EXPECT_EQ(read.keys[1].owner, &read);
  ASSERT_EQ(read.memos.size(), 1u);
  EXPECT_EQ(read.memos[0].buffer.size(), 1000u);
  // What was read is what a later OPEN compares against.
  EXPECT_EQ(CompareWith(read, stream), DEFINITION_EQUAL);
}

TEST(DefinitionStreamTest, MissingPiecesReadAsZeros) {
  TableState state;
  state.record_length = 100;
  for (uint32_t i = 0; i < 70; ++i) {
    state.fields.push_back(Field(TYPE_BYTE, i, 1, "REC:FIELD" + std::to_string(i)));
    state.fields.back().index = i;
  }
  std::vector<uint8_t> stream = EncodeDefinition(state);
  ASSERT_GT(stream.size(), 2 * kDefinitionPieceSize);
  MemoryPieces pieces(stream);
  pieces.pieces.erase(1);
  EXPECT_EQ(CompareDefinitionStream(state, pieces), DEFINITION_DIFFERENT);
  TableState read;
  EXPECT_EQ(ReadDefinitionStream(read, pieces), 47);
  EXPECT_TRUE(read.fields.empty());
}

// Damaged streams fail to read with 47 and never read or allocate outside
// what they hold.
TEST(DefinitionStreamTest, DamagedStreamsFailToRead) {
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
  };
  const Case cases[] = {
      {"field count beyond the stream", [](std::vector<uint8_t>& s) { s[4] = 0xFF; s[5] = 0xFF; }},
      {"too many keys", [](std::vector<uint8_t>& s) { s[8] = 241; }},
      {"unknown version", [](std::vector<uint8_t>& s) { s[0] = 7; }},
      {"record length too large", [](std::vector<uint8_t>& s) { s[2] = 0xFF; s[3] = 0xFF; }},
      {"field offset beyond the record", [](std::vector<uint8_t>& s) { s[11] = 59; }},
      {"cut after the header", [](std::vector<uint8_t>& s) { s.resize(10); }},
      {"cut in the last key", [](std::vector<uint8_t>& s) { s.resize(s.size() - 2); }},
      {"component names no field", [](std::vector<uint8_t>& s) { s[s.size() - 4] = 9; }},
  };
  Table stored;
  for (const Case& c : cases) {
    std::vector<uint8_t> stream = EncodeDefinition(stored);
    c.damage(stream);
    MemoryPieces pieces(stream);
    TableState read;
    EXPECT_EQ(ReadDefinitionStream(read, pieces), 47) << c.what;
  }
}

// Every prefix and many random corruptions of a valid stream: reading either
// succeeds with consistent descriptors or fails with 47; comparing never
// crashes.
TEST(DefinitionStreamTest, SurvivesArbitraryDamage) {
  Table stored;
  const std::vector<uint8_t> stream = EncodeDefinition(stored);
  auto check = [&](const std::vector<uint8_t>& damaged) {
    MemoryPieces pieces(damaged);
    TableState read;
    int32_t rc = ReadDefinitionStream(read, pieces);
    ASSERT_TRUE(rc == 0 || rc == 47);
    for (const FieldDescriptor& f : read.fields) ASSERT_LE(f.offset + f.size, read.record_length);
    for (const KeyDescriptor& k : read.keys) {
      for (const KeyComponent& c : k.components) {
        ASSERT_GE(c.field, read.fields.data());
        ASSERT_LT(c.field, read.fields.data() + read.fields.size());
      }
    }
    CompareWith(stored, damaged);
  };
  for (size_t n = 0; n < stream.size(); ++n) {
    std::vector<uint8_t> prefix(stream.begin(), stream.begin() + n);
    MemoryPieces pieces(prefix);
    TableState read;
    EXPECT_EQ(ReadDefinitionStream(read, pieces), 47) << n;
  }
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> damaged = stream;
    int flips = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < flips; ++i) damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
    check(damaged);
  }
}

}  // namespace
}  // namespace vantrose
