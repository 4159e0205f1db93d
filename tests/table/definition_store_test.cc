// The definition stream as pieces of a table in a real file.
#include <gtest/gtest.h>

#include <string>

#include "engine/storage/page_tree.h"
#include "engine/table/definition.h"
#include "engine/table/record_kinds.h"
#include "record_kinds_store.h"
#include "runtime/declared.h"

namespace vantrose {
namespace {

class DefinitionPiecesTest : public TableFileTest {
 protected:
  // One BYTE field whose name makes the stream `length` bytes long: 10
  // header bytes and 12 + name length bytes of field.
  void MakeStreamOf(size_t length) {
    state_.record_length = 1;
    state_.fields.resize(1);
    state_.fields[0].type = TYPE_BYTE;
    state_.fields[0].size = 1;
    state_.fields[0].name = std::string(length - 22, 'N');
    ASSERT_EQ(EncodeDefinition(state_).size(), length);
  }
  const RecordNode* Piece(uint16_t k) {
    uint8_t key[kDefinitionKeyLength];
    DefinitionKey(key, state_.table_number, k);
    return FindExact(store_, KeyBytes(key, sizeof key));
  }
};

TEST_F(DefinitionPiecesTest, StreamIsCutInto512BytePieces) {
  struct Case {
    size_t length;
    std::vector<size_t> pieces;
  };
  const Case cases[] = {{1024, {512, 512}}, {1025, {512, 512, 1}}, {100, {100}}};
  uint32_t table = 20;
  for (const Case& c : cases) {
    state_.table_number = ++table;
    MakeStreamOf(c.length);
    WriteDefinition(state_);
    for (size_t k = 0; k < c.pieces.size(); ++k) {
      const RecordNode* piece = Piece(static_cast<uint16_t>(k));
      ASSERT_NE(piece, nullptr) << c.length << " piece " << k;
      EXPECT_EQ(piece->data().size(), c.pieces[k]) << c.length << " piece " << k;
    }
    EXPECT_EQ(Piece(static_cast<uint16_t>(c.pieces.size())), nullptr) << c.length;
    EXPECT_EQ(CompareDefinition(state_), DEFINITION_EQUAL) << c.length;
    TableState read;
    read.store = &store_;
    read.table_number = table;
    ASSERT_EQ(ReadDefinition(read), 0) << c.length;
    EXPECT_EQ(read.fields[0].name, state_.fields[0].name);
  }
}

TEST_F(DefinitionPiecesTest, ALostPieceMakesTheDefinitionDiffer) {
  state_.table_number = 3;
  MakeStreamOf(1025);
  WriteDefinition(state_);
  Delete(store_, const_cast<RecordNode*>(Piece(1)));
  EXPECT_EQ(CompareDefinition(state_), DEFINITION_DIFFERENT);
  TableState read;
  read.store = &store_;
  read.table_number = 3;
  EXPECT_EQ(ReadDefinition(read), 47);
  // A table without a definition at all.
  read.table_number = 4;
  EXPECT_EQ(ReadDefinition(read), 47);
  state_.table_number = 4;
  EXPECT_EQ(CompareDefinition(state_), DEFINITION_DIFFERENT);
}

}  // namespace
}  // namespace vantrose
