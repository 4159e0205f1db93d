// COPY, RENAME and CREATE when a write fails: neither file changes.
#include <gtest/gtest.h>

#include "platform/fault_injection.h"
#include "tests/front/open_fixture.h"

namespace vantrose {
namespace {

constexpr int32_t kDiskFull = 112;

using CopyFaultsTest = TableOperationsTest;

// Runs `operation` with the first write from now on failing for a full
// disk, and answers its code.
template <typename Operation>
int32_t WithFullDisk(Operation operation) {
  FaultInjectingFileSystem faults;
  ScopedFileSystem use(faults);
  faults.FailWrite(1, kDiskFull);
  return operation();
}

TEST_F(CopyFaultsTest, DiskFullDuringAWholeFileCopyKeepsTheEarlierBackup) {
  NamedFile source("SRC.crz");
  ASSERT_EQ(Create(source), 0);
  std::ofstream("old.bak") << "earlier backup";
  EXPECT_NE(WithFullDisk([&] { return WithTarget(op::COPY, source, "old.bak"); }), 0);
  EXPECT_EQ(Contents("old.bak"), "earlier backup");
  ExpectDirectoryHolds({"SRC.crz", "old.bak"});
}

TEST_F(CopyFaultsTest, AFailedCommitOfARenameKeepsTheSourceTable) {
  NamedFile a("F\\!A");
  ASSERT_EQ(Create(a), 0);
  std::vector<uint32_t> numbers;
  ASSERT_NO_FATAL_FAILURE(FillTable(a, 3, nullptr, &numbers));
  EXPECT_EQ(WithFullDisk([&] { return WithTarget(op::RENAME, a, "G\\!A"); }), kDiskFull);
  EXPECT_FALSE(Exists("G.VNT"));
  ASSERT_EQ(Open(a), 0);
  EXPECT_EQ(RecordNumbers(a), numbers);
  Close(a);
}

TEST_F(CopyFaultsTest, AFailedCreateKeepsTheTable) {
  NamedFile a("F\\!A");
  ASSERT_EQ(Create(a), 0);
  uint32_t table = 0;
  std::vector<uint32_t> numbers;
  ASSERT_NO_FATAL_FAILURE(FillTable(a, 3, &table, &numbers));
  EXPECT_EQ(WithFullDisk([&] { return Create(a); }), kDiskFull);
  ASSERT_EQ(Open(a), 0);
  EXPECT_EQ(a.file.state->table_number, table);
  EXPECT_EQ(RecordNumbers(a), numbers);
  Close(a);
}

}  // namespace
}  // namespace vantrose
