#include <gtest/gtest.h>

#include "engine/front/open_file_registry.h"
#include "engine/front/dispatch.h"
#include "engine/storage/corruption.h"
#include "engine/storage/file_store.h"
#include "engine/table/memos.h"
#include "runtime/memory_handles.h"
#include "tests/front/open_fixture.h"

namespace vantrose {
namespace {

using OpenTest = TableOperationsTest;

// A declaration of `name` without record, keys or memos: the open takes the
// file's own definition.
struct BareFile : NamedFile {
  explicit BareFile(std::string name) : NamedFile(std::move(name)) {
    file.record_length = 0;
    file.record_buffer = nullptr;
    file.keys = nullptr;
    file.memos = nullptr;
    file.record = nullptr;
  }
};

TEST_F(OpenTest, NameReportsTheResolvedFileAndTable) {
  struct Case {
    const char* declared;
    const char* reported;  // relative to the test directory
  };
  const Case cases[] = {
      {"DATA", "DATA.VNT"},
      {"DATA.VNT\\!parts", "DATA.VNT\\!PARTS"},
      {"music.crz\\!UNNAMED", "music.crz"},
      {"./sub/../DATA.x", "DATA.x"},
  };
  std::filesystem::create_directory("sub");
  for (const Case& c : cases) {
    NamedFile t(c.declared);
    ASSERT_EQ(Create(t), 0) << c.declared;
    EXPECT_EQ(Name(t), c.declared) << "closed: the declared name";
    ASSERT_EQ(Open(t), 0) << c.declared;
    EXPECT_EQ(Name(t), InDir(c.reported));
    EXPECT_EQ(Close(t), 0);
  }
}

TEST_F(OpenTest, MissingFileOrTableFailsAndLeavesNothingBehind) {
  NamedFile absent("NOFILE");
  EXPECT_EQ(Open(absent), 2);
  EXPECT_EQ(absent.file.state, nullptr);
  EXPECT_EQ(Open(absent, 0x122), 2);  // the engine's create bit is not the caller's
  EXPECT_FALSE(Exists("NOFILE.VNT"));

  NamedFile a("F\\!A");
  ASSERT_EQ(Create(a), 0);
  NamedFile b("F\\!B");
  EXPECT_EQ(Open(b), 2);
  EXPECT_EQ(b.file.state, nullptr);
  EXPECT_EQ(OpenFileRegistry::Instance().size(), 0u);
  // The file is really closed: it can be opened denying everyone else.
  EXPECT_EQ(Open(a, 0x12), 0);
  EXPECT_EQ(Close(a), 0);
}

TEST_F(OpenTest, DeclarationsThatDifferFromTheFile) {
  NamedFile stored("T");
  ASSERT_EQ(Create(stored), 0);

  NamedFile renamed("T");
  renamed.record[2].label = "T:TOTAL";
  renamed.keys[0].label = "T:OTHERKEY";
  EXPECT_EQ(Open(renamed), 0);
  EXPECT_EQ(Close(renamed), 0);

  NamedFile primary("T");
  primary.keys[0].attributes |= DKEY_PRIMARY;
  EXPECT_EQ(Open(primary), 0);
  EXPECT_EQ(Close(primary), 0);

  NamedFile retyped("T");
  retyped.record[2].type = TYPE_ULONG;
  EXPECT_EQ(Open(retyped), 47);
  EXPECT_EQ(retyped.file.state, nullptr);

  NamedFile unique("T");
  unique.keys[0].attributes &= static_cast<uint16_t>(~DKEY_DUP);
  EXPECT_EQ(Open(unique), 47);
  EXPECT_EQ(OpenFileRegistry::Instance().size(), 0u);
}

TEST_F(OpenTest, ADeclarationWithoutRecordTakesTheFilesDefinition) {
  NamedFile stored("T");
  ASSERT_EQ(Create(stored), 0);
  BareFile bare("T");
  ASSERT_EQ(Open(bare), 0);
  ASSERT_NE(bare.file.state, nullptr);
  EXPECT_EQ(bare.file.state->record_length, 40u);
  EXPECT_EQ(bare.file.state->fields.size(), 6u);
  EXPECT_EQ(bare.file.state->keys.size(), 2u);
  EXPECT_EQ(Close(bare), 0);
}

TEST_F(OpenTest, ADamagedDefinitionFailsTheOpen) {
  NamedFile t("D");
  ASSERT_EQ(Create(t), 0);
  ASSERT_EQ(Open(t), 0);
  FileStore& store = *t.file.state->store;
  uint8_t key[kDefinitionKeyLength];
  DefinitionKey(key, t.file.state->table_number, 0);
  ASSERT_EQ(EnterWriteMode(store), 0);
  // The first piece cut to three bytes: the stream ends inside its header.
  Delete(store, FindExact(store, KeyBytes(key, sizeof key)));
  Insert(store, RecordNode::FromBytes(KeyBytes(key, sizeof key), std::vector<uint8_t>(3, 1)));
  ASSERT_EQ(LeaveWriteMode(store), 0);
  ASSERT_EQ(Close(t), 0);
  EXPECT_EQ(Open(t), 47);
  BareFile bare("D");
  EXPECT_EQ(Open(bare), 47);
  EXPECT_EQ(OpenFileRegistry::Instance().size(), 0u);
}

// An operation that changes the table and then finds the file damaged.
int32_t ChangeThenReportCorruption(OperationContext& context) {
  TableState& state = context.state;
  EnterWriteMode(*state.store);
  uint8_t key[kDataKeyLength];
  DataKey(key, state.table_number, 99);
  Insert(*state.store, RecordNode::FromBytes(KeyBytes(key, sizeof key)));
  ReportCorruption(4242);
}

TEST_F(OpenTest, CloseAfterACorruptionKeepsNothingUncommitted) {
  NamedFile t("C");
  ASSERT_EQ(Create(t), 0);
  ASSERT_EQ(Open(t), 0);
  {
    ScopedHandlerOverride records(op::RECORDSfile, ChangeThenReportCorruption);
    EXPECT_EQ(Call(op::RECORDSfile, t), 90);
  }
  EXPECT_EQ(Close(t), 0);
  EXPECT_EQ(t.file.state, nullptr);
  EXPECT_EQ(OpenFileRegistry::Instance().size(), 0u);
  ASSERT_EQ(Open(t), 0);
  EXPECT_TRUE(RecordNumbers(t).empty());
  EXPECT_EQ(Close(t), 0);
}

TEST_F(OpenTest, TwoDeclaredFilesShareOneStore) {
  NamedFile first("SHARED");
  ASSERT_EQ(Create(first), 0);
  NamedFile second(InDir("SHARED.VNT"));
  std::filesystem::create_symlink("SHARED.VNT", "LINK.VNT");
  NamedFile third("LINK");
  ASSERT_EQ(Open(first, 0x42), 0);
  ASSERT_EQ(Open(second, 0x12), 0);  // its deny-all is not applied
  ASSERT_EQ(Open(third, 0x42), 0);
  EXPECT_EQ(first.file.state->store, second.file.state->store);
  EXPECT_EQ(first.file.state->store, third.file.state->store);
  EXPECT_EQ(OpenFileRegistry::Instance().size(), 1u);
  EXPECT_EQ(Close(first), 0);
  EXPECT_EQ(Close(third), 0);
  EXPECT_EQ(OpenFileRegistry::Instance().size(), 1u);
  EXPECT_EQ(Close(second), 0);
  EXPECT_EQ(OpenFileRegistry::Instance().size(), 0u);

  // Names that differ in letter case are two files here.
  NamedFile upper("CASE");
  NamedFile lower("case");
  ASSERT_EQ(Create(upper), 0);
  ASSERT_EQ(Create(lower), 0);
  ASSERT_EQ(Open(upper), 0);
  ASSERT_EQ(Open(lower), 0);
  EXPECT_NE(upper.file.state->store, lower.file.state->store);
  Close(upper);
  Close(lower);
}

}  // namespace
}  // namespace vantrose

namespace vantrose {
namespace {

TEST_F(OpenTest, CloseCutsBlocksBeyondTheDataEnd) {
  NamedFile t("TRIM.VNT");
  ASSERT_EQ(Create(t), 0);
  const auto size = std::filesystem::file_size("TRIM.VNT");
  {
    // What a writer that died between growing the file and its commit may
    // leave: blocks after the data that no committed state uses.
    std::ofstream tail("TRIM.VNT", std::ios::binary | std::ios::app);
    tail << std::string(4096, '\0');
  }
  ASSERT_EQ(std::filesystem::file_size("TRIM.VNT"), size + 4096);
  ASSERT_EQ(Open(t), 0);
  ASSERT_EQ(Close(t), 0);
  EXPECT_EQ(std::filesystem::file_size("TRIM.VNT"), size);

  // A read-only open cannot cut the file and still closes cleanly.
  {
    std::ofstream tail("TRIM.VNT", std::ios::binary | std::ios::app);
    tail << std::string(512, '\0');
  }
  ASSERT_EQ(Open(t, 0x40), 0);
  EXPECT_EQ(Close(t), 0);
}

}  // namespace
}  // namespace vantrose

namespace vantrose {
namespace {

TEST_F(OpenTest, CloseFreesTheMemoryOfBlobs) {
  NamedFile t("BLOBS.VNT");
  t.memos[0].attributes = DMEMO_BLOB;
  ASSERT_EQ(Create(t), 0);
  ASSERT_EQ(Open(t), 0);
  MemoDescriptor& blob = t.file.state->memos[0];
  SetBlobSize(blob, 300);
  const MemoryHandle handle = blob.blob_handle;
  ASSERT_EQ(MovableSize(handle), 300u);
  ASSERT_EQ(Close(t), 0);
  EXPECT_EQ(MovableSize(handle), 0u);
}

}  // namespace
}  // namespace vantrose
