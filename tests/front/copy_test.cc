#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "tests/front/open_fixture.h"

namespace vantrose {
namespace {

using CopyTest = TableOperationsTest;

TEST_F(CopyTest, WholeFileToANameToADirectoryAndOntoItself) {
  NamedFile source("SRC.crz");
  ASSERT_EQ(Create(source), 0);
  const std::string bytes = Contents("SRC.crz");
  ASSERT_FALSE(bytes.empty());

  EXPECT_EQ(WithTarget(op::COPY, source, "  copy.bak  "), 0);
  EXPECT_EQ(Contents("copy.bak"), bytes);
  EXPECT_EQ(WithTarget(op::COPY, source, "COPY"), 0);  // the source's extension
  EXPECT_EQ(Contents("COPY.crz"), bytes);

  std::filesystem::create_directory("backups");
  EXPECT_EQ(WithTarget(op::COPY, source, "backups"), 0);
  EXPECT_EQ(Contents("backups/SRC.crz"), bytes);

  EXPECT_EQ(WithTarget(op::COPY, source, InDir("SRC.crz")), 0);
  EXPECT_EQ(Contents("SRC.crz"), bytes);
  EXPECT_EQ(WithTarget(op::COPY, source, ""), 0);  // no target: nothing to do
  ExpectDirectoryHolds({"SRC.crz", "copy.bak", "COPY.crz", "backups"});
  EXPECT_EQ(source.file.state, nullptr);
}

TEST_F(CopyTest, WholeFileOfAFileHeldOpenDenyingWriters) {
  NamedFile source("HELD.crz");
  ASSERT_EQ(Create(source), 0);
  FileSystem& fs = CurrentFileSystem();
  FileOpenRequest deny_write;
  deny_write.write = true;
  deny_write.share_write = false;
  FileHandle held = kNoFile;
  ASSERT_EQ(fs.Open(InDir("HELD.crz"), deny_write, &held), 0);
  std::ofstream("old.bak") << "earlier backup";
  EXPECT_EQ(WithTarget(op::COPY, source, "old.bak"), 0);
  EXPECT_EQ(Contents("old.bak"), Contents("HELD.crz"));
  fs.Close(held);
}

TEST_F(CopyTest, AFailedCopyKeepsTheEarlierDestination) {
  std::ofstream("old.bak") << "earlier backup";
  NamedFile missing("NONE.crz");
  EXPECT_EQ(WithTarget(op::COPY, missing, "old.bak"), 2);
  EXPECT_EQ(Contents("old.bak"), "earlier backup");
  EXPECT_EQ(WithTarget(op::COPY, missing, "new.bak"), 2);
  ExpectDirectoryHolds({"old.bak"});
}

// A second run of the converter whose first dialog was cancelled copies a
// blank name onto the fixed backup path: the earlier backup stays.
TEST_F(CopyTest, CopyFromNoFileKeepsAnEarlierBackupThatIsATableFile) {
  NamedFile earlier("crzconv.bak");
  ASSERT_EQ(Create(earlier), 0);
  ASSERT_NO_FATAL_FAILURE(FillTable(earlier, 4));
  const std::string bytes = Contents("crzconv.bak");
  for (const char* name : {"", "    ", "gone.crz"}) {
    NamedFile nothing(name);
    EXPECT_NE(WithTarget(op::COPY, nothing, InDir("crzconv.bak")), 0) << name;
    EXPECT_EQ(Contents("crzconv.bak"), bytes) << name;
  }
  ASSERT_EQ(Open(earlier), 0);
  EXPECT_EQ(RecordNumbers(earlier).size(), 4u);
  Close(earlier);
}

TEST_F(CopyTest, TableIntoANewFileIsRenumberedPastItsCounter) {
  NamedFile source("F\\!A");
  ASSERT_EQ(Create(source), 0);
  ASSERT_EQ(Open(source), 0);
  AddRecords(source, 5);
  std::vector<uint32_t> before = RecordNumbers(source);
  // The FLAGS word, and a key that is not indexed from some record on.
  ASSERT_EQ(EnterWriteMode(*source.file.state->store), 0);
  SetFirstNotIndexed(*source.file.state, kDataSubject, 7);
  SetFirstNotIndexed(*source.file.state, 0, before[2]);
  ASSERT_EQ(Close(source), 0);

  EXPECT_EQ(WithTarget(op::COPY, source, "G\\!A"), 0);
  NamedFile copy("G\\!A");
  ASSERT_EQ(Open(copy), 0);
  std::vector<uint32_t> after = RecordNumbers(copy);
  ASSERT_EQ(after.size(), before.size());
  // New table number and base drawn from G's counter, then every number
  // moved past the base, order kept.
  uint32_t table = copy.file.state->table_number;
  uint32_t base = table + 1;
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i], before[i] + base) << i;
  EXPECT_EQ(ReadCount(*copy.file.state, kDataSubject), 5u);
  EXPECT_EQ(FirstNotIndexed(*copy.file.state, 0), after[2]);
  EXPECT_EQ(FirstNotIndexed(*copy.file.state, kDataSubject), 7u);
  // G's counter is past every record number it holds now.
  AddRecords(copy, 1);
  EXPECT_EQ(RecordNumbers(copy).back(), after.back() + 1);
  ASSERT_EQ(Close(copy), 0);

  ASSERT_EQ(Open(source), 0);  // the source is as it was
  EXPECT_EQ(RecordNumbers(source), before);
  Close(source);
}

TEST_F(CopyTest, TableCopyWithoutSourceLeavesTheTargetAlone) {
  NamedFile target("G\\!A");
  ASSERT_EQ(Create(target), 0);
  uint32_t table = 0;
  std::vector<uint32_t> kept;
  ASSERT_NO_FATAL_FAILURE(FillTable(target, 3, &table, &kept));
  const std::string bytes = Contents("G.VNT");

  NamedFile no_table("G\\!MISSING");
  EXPECT_EQ(WithTarget(op::COPY, no_table, "G\\!A"), 2);
  NamedFile no_file("NOWHERE\\!A");
  EXPECT_EQ(WithTarget(op::COPY, no_file, "G\\!A"), 2);
  EXPECT_EQ(WithTarget(op::RENAME, no_file, "G\\!A"), 2);
  EXPECT_EQ(Contents("G.VNT"), bytes);
  ASSERT_EQ(Open(target), 0);
  EXPECT_EQ(target.file.state->table_number, table);
  EXPECT_EQ(RecordNumbers(target), kept);
  Close(target);
  // Nor is a target file made for a copy that did not happen.
  EXPECT_EQ(WithTarget(op::COPY, no_file, "H\\!A"), 2);
  EXPECT_FALSE(Exists("H.VNT"));
}

TEST_F(CopyTest, RenameInsideAFileKeepsNumbersAndRefusesAnExistingTable) {
  NamedFile a("F\\!A");
  NamedFile c("F\\!C");
  ASSERT_EQ(Create(a), 0);
  ASSERT_EQ(Create(c), 0);
  uint32_t table = 0;
  std::vector<uint32_t> numbers;
  ASSERT_NO_FATAL_FAILURE(FillTable(a, 4, &table, &numbers));

  EXPECT_EQ(WithTarget(op::RENAME, a, "F\\!C"), 5);
  ASSERT_EQ(Open(a), 0);  // still there, under its name
  EXPECT_EQ(RecordNumbers(a), numbers);
  ASSERT_EQ(Close(a), 0);

  EXPECT_EQ(WithTarget(op::RENAME, a, "F\\!b"), 0);
  EXPECT_EQ(Open(a), 2);
  NamedFile b("F\\!B");
  ASSERT_EQ(Open(b), 0);
  EXPECT_EQ(b.file.state->table_number, table);
  EXPECT_EQ(RecordNumbers(b), numbers);
  Close(b);
}

TEST_F(CopyTest, RenameOfAWholeFileNeverReplacesAnother) {
  NamedFile source("OLD.crz");
  ASSERT_EQ(Create(source), 0);
  const std::string bytes = Contents("OLD.crz");
  std::ofstream("taken.crz") << "someone's file";
  EXPECT_NE(WithTarget(op::RENAME, source, "taken.crz"), 0);
  EXPECT_EQ(Contents("taken.crz"), "someone's file");
  EXPECT_EQ(Contents("OLD.crz"), bytes);

  NamedFile other("TAKEN.crz");
  ASSERT_EQ(Create(other), 0);
  EXPECT_EQ(WithTarget(op::RENAME, source, "TAKEN.crz"), 5);  // its table exists
  EXPECT_EQ(Contents("OLD.crz"), bytes);

  EXPECT_EQ(WithTarget(op::RENAME, source, "NEW.crz"), 0);
  EXPECT_FALSE(Exists("OLD.crz"));
  EXPECT_EQ(Contents("NEW.crz"), bytes);
}

TEST_F(CopyTest, RenameIntoAnotherFileMovesTheTable) {
  NamedFile a("F\\!A");
  ASSERT_EQ(Create(a), 0);
  ASSERT_NO_FATAL_FAILURE(FillTable(a, 2));
  NamedFile keep("F\\!KEEP");
  ASSERT_EQ(Create(keep), 0);
  EXPECT_EQ(WithTarget(op::RENAME, a, "G\\!A"), 0);
  EXPECT_EQ(Open(a), 2);
  NamedFile moved("G\\!A");
  ASSERT_EQ(Open(moved), 0);
  EXPECT_EQ(RecordNumbers(moved).size(), 2u);
  Close(moved);
}

}  // namespace
}  // namespace vantrose
