// COPY, RENAME and CREATE when a write fails: neither file changes.
#include <gtest/gtest.h>

#include <set>

#include "platform/fault_injection.h"
#include "tests/front/open_fixture.h"

namespace vantrose {
namespace {

constexpr int32_t kDiskFull = 112;

using CopyFaultsTest = TableOperationsTest;

TEST_F(CopyFaultsTest, DiskFullDuringAWholeFileCopyKeepsTheEarlierBackup) {
  NamedFile source("SRC.crz");
  ASSERT_EQ(Create(source), 0);
  std::ofstream("old.bak") << "earlier backup";
  {
    FaultInjectingFileSystem faults;
    ScopedFileSystem use(faults);
    faults.FailWrite(1, kDiskFull);
    EXPECT_NE(WithTarget(op::COPY, source, "old.bak"), 0);
  }
  EXPECT_EQ(Contents("old.bak"), "earlier backup");
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"SRC.crz", "old.bak"}));
}

TEST_F(CopyFaultsTest, AFailedCommitOfARenameKeepsTheSourceTable) {
  NamedFile a("F\\!A");
  ASSERT_EQ(Create(a), 0);
  ASSERT_EQ(Open(a), 0);
  AddRecords(a, 3);
  std::vector<uint32_t> numbers = RecordNumbers(a);
  ASSERT_EQ(Close(a), 0);
  {
    FaultInjectingFileSystem faults;
    ScopedFileSystem use(faults);
    faults.FailWrite(1, kDiskFull);
    EXPECT_EQ(WithTarget(op::RENAME, a, "G\\!A"), kDiskFull);
  }
  EXPECT_FALSE(Exists("G.VNT"));
  ASSERT_EQ(Open(a), 0);
  EXPECT_EQ(RecordNumbers(a), numbers);
  Close(a);
}

TEST_F(CopyFaultsTest, AFailedCreateKeepsTheTable) {
  NamedFile a("F\\!A");
  ASSERT_EQ(Create(a), 0);
  ASSERT_EQ(Open(a), 0);
  AddRecords(a, 3);
  uint32_t table = a.file.state->table_number;
  std::vector<uint32_t> numbers = RecordNumbers(a);
  ASSERT_EQ(Close(a), 0);
  {
    FaultInjectingFileSystem faults;
    ScopedFileSystem use(faults);
    faults.FailWrite(1, kDiskFull);
    EXPECT_EQ(Create(a), kDiskFull);
  }
  ASSERT_EQ(Open(a), 0);
  EXPECT_EQ(a.file.state->table_number, table);
  EXPECT_EQ(RecordNumbers(a), numbers);
  Close(a);
}

}  // namespace
}  // namespace vantrose
