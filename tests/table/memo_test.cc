// Memo and BLOB pieces: how values are cut, read back, rewritten and deleted.

#include <string>
#include <vector>

#include "records_fixture.h"

namespace vantrose {
namespace {

class MemoTest : public RecordsTest {
 protected:
  // memo 0: MEMO(1000); memo 1: BLOB; memo 2: BINARY MEMO(20). The table's
  // text is OEM, and BLOB contents still come back byte for byte.
  void SetUp() override {
    RecordsTest::SetUp();
    Define({}, {{1000, 0}, {0, MEMO_BLOB}, {20, MEMO_BINARY}}, /*oem=*/true);
  }
  MemoDescriptor& Text() { return state_.memos[0]; }
  MemoDescriptor& Blob() { return state_.memos[1]; }
  MemoDescriptor& Binary() { return state_.memos[2]; }
  void SetText(const std::string& text) {
    Text().buffer.assign(1000, ' ');
    std::copy(text.begin(), text.end(), Text().buffer.begin());
  }
  void SetBlob(const Bytes& bytes) {
    SetBlobSize(Blob(), uint32_t(bytes.size()));
    if (!bytes.empty()) std::copy(bytes.begin(), bytes.end(), BlobData(Blob()));
  }
  // (memo number, piece number, data length) of every stored piece.
  struct Piece {
    int memo, sequence;
    size_t length;
    bool operator==(const Piece&) const = default;
  };
  std::vector<Piece> Pieces() {
    std::vector<Piece> pieces;
    for (const Bytes& piece : StoredOfKind(KIND_MEMO)) {
      pieces.push_back({piece[9], piece[10] * 256 + piece[11], piece.size() - kMemoKeyLength});
    }
    return pieces;
  }
  void Reread() {
    SetText("");
    SetBlob({});
    ASSERT_EQ(Run(GetFilePointerOperation, int32_t(state_.current_record)), 0);
  }
};

TEST_F(MemoTest, ValuesAreCutIntoPiecesAndReadBack) {
  SetText(std::string(600, 'x'));
  Bytes blob(300);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = uint8_t(i);
  SetBlob(blob);
  ASSERT_EQ(Add(Image("a", 1)), 0);
  EXPECT_EQ(Pieces(), (std::vector<Piece>{
                          {0, 0, 256}, {0, 1, 256}, {0, 2, 88},  // 600 characters
                          {1, 0, 4 + 256}, {1, 1, 44},           // a 300-byte BLOB
                      }));
  Reread();
  EXPECT_EQ(std::string(Text().buffer.begin(), Text().buffer.end()),
            std::string(600, 'x') + std::string(400, ' '));
  ASSERT_EQ(Blob().blob_length, 300u);
  EXPECT_EQ(Bytes(BlobData(Blob()), BlobData(Blob()) + 300), blob);
}

TEST_F(MemoTest, EmptyValuesStoreNothing) {
  SetBlob({9, 9});
  ASSERT_EQ(Add(Image("a", 1)), 0);
  SetBlob({});
  ASSERT_EQ(Add(Image("b", 2)), 0);
  EXPECT_EQ(Pieces().size(), 1u);  // a's BLOB only
  Reread();
  EXPECT_EQ(Blob().blob_length, 0u);
  EXPECT_EQ(Blob().blob_handle, 0u);
  EXPECT_EQ(std::string(Text().buffer.begin(), Text().buffer.end()), std::string(1000, ' '));
}

TEST_F(MemoTest, RewriteWritesOnlyChangedPiecesAndShorteningDeletes) {
  SetText(std::string(600, 'x'));
  ASSERT_EQ(Add(Image("a", 1)), 0);
  const std::vector<Bytes> before = StoredOfKind(KIND_MEMO);
  // Changing the last 10 characters touches the third piece only.
  SetText(std::string(590, 'x') + std::string(10, 'y'));
  ASSERT_EQ(EnterWriteMode(store_), 0);
  const uint32_t changed_before = store_.cache.changed_count();
  ASSERT_EQ(MemoPass(state_, state_.current_record, MemoMode::kRewrite), 0);
  EXPECT_EQ(store_.cache.changed_count(), changed_before + 1);
  const std::vector<Bytes> after = StoredOfKind(KIND_MEMO);
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[0], before[0]);
  EXPECT_EQ(after[1], before[1]);
  EXPECT_NE(after[2], before[2]);
  ASSERT_EQ(EndOperation(state_, 0), 0);

  SetText(std::string(100, 'z'));
  ASSERT_EQ(Run(PutOperation), 0);
  EXPECT_EQ(Pieces(), (std::vector<Piece>{{0, 0, 100}}));
  Reread();
  EXPECT_EQ(std::string(Text().buffer.begin(), Text().buffer.begin() + 101), std::string(100, 'z') + " ");

  ASSERT_EQ(Run(DeleteOperation), 0);
  EXPECT_TRUE(Pieces().empty());
}

TEST_F(MemoTest, OnlyTextMemosPassThroughTheOemCodePage) {
  SetText("\xe9");
  Binary().buffer.assign(20, ' ');
  Binary().buffer[0] = '\xe9';
  ASSERT_EQ(Add(Image("a", 1)), 0);
  const std::vector<Bytes> pieces = StoredOfKind(KIND_MEMO);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0][kMemoKeyLength], 0x82);  // converted
  EXPECT_EQ(pieces[1][kMemoKeyLength], 0xE9);  // BINARY: as it was
  Reread();
  EXPECT_EQ(Text().buffer[0], '\xe9');
  EXPECT_EQ(Binary().buffer[0], '\xe9');
}

TEST_F(MemoTest, NomemoReadsNoneAndPutKeepsThem) {
  SetText("kept");
  ASSERT_EQ(Add(Image("a", 1)), 0);
  SetText("other");
  ASSERT_EQ(Run(NomemoOperation), 0);
  ASSERT_EQ(Run(GetFilePointerOperation, int32_t(state_.current_record)), 0);
  EXPECT_EQ(Text().buffer[0], 'o');
  SetBuffer(Image("b", 2));
  ASSERT_EQ(Run(PutOperation), 0);
  Reread();
  EXPECT_EQ(std::string(Text().buffer.begin(), Text().buffer.begin() + 4), "kept");
}

TEST_F(MemoTest, ADamagedBlobLengthIsReportedNotAllocated) {
  SetBlob(Bytes(10, 1));
  ASSERT_EQ(Add(Image("a", 1)), 0);
  ASSERT_EQ(EnterWriteMode(store_), 0);
  Bytes piece = StoredOfKind(KIND_MEMO)[0];
  RecordNode* stored = FindExact(store_, KeyBytes(piece.data(), kMemoKeyLength));
  StoreLE32(stored->mutable_data().data(), 0xFFFFFFF0u);
  EXPECT_THROW(MemoPass(state_, state_.current_record, MemoMode::kRead), CorruptionUnwind);
}

}  // namespace
}  // namespace vantrose
