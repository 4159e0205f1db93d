#include "app/conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/declarations.h"
#include "platform/scripted_ui.h"
#include "runtime/error_state.h"
#include "tests/app/scripted_engine.h"
#include "tests/support/converter_test.h"

namespace vantrose {
namespace {

using Journal = std::vector<std::string>;

class ConversionTest : public ConverterTest<> {
 protected:
  ConversionTest() : ui_(&journal_), engine_(&journal_) { std::ofstream(source_) << "catalogue"; }

  // Both dialogs confirmed, then the whole program.
  int Run() {
    ui_.Confirm(source_);
    ui_.Confirm(target_);
    return RunConverter(ui_);
  }
  void Fail(std::string call, int32_t code, int from = 1) {
    engine_.failures.push_back({std::move(call), from, code});
  }
  // The journal from the first entry equal to `first` on.
  Journal From(const std::string& first) const {
    auto it = std::find(journal_.begin(), journal_.end(), first);
    return Journal(it, journal_.end());
  }

  Journal journal_;
  ScriptedUserInterface ui_;
  ScriptedEngine engine_;
};

TEST_F(ConversionTest, ConvertsEveryRecordInTheProceduresOrder) {
  engine_.records = 2;
  EXPECT_EQ(Run(), 0);
  const Journal expected = {
      "dialog open Select File to Convert",
      "dialog save Select Coverted File Name",
      "COPY REELBIN1 " + (dir_ / "crzconv.bak").string(),
      "OPEN REELBIN1 0x22",
      "SETfile REELBIN1",
      "CREATE REELBIN2",
      "OPEN REELBIN2 0x22",
      "STREAM REELBIN1",
      "STREAM REELBIN2",
      "progress open",
      "NEXT REELBIN1",
      "APPEND REELBIN2",
      "refresh        1",
      "NEXT REELBIN1",
      "APPEND REELBIN2",
      "refresh        2",
      "NEXT REELBIN1",
      "FLUSH REELBIN1",
      "FLUSH REELBIN2",
      "BUILDfile REELBIN2",
      "CLOSE REELBIN1",
      "CLOSE REELBIN2",
      "close",
  };
  EXPECT_EQ(journal_, expected);
  EXPECT_TRUE(ui_.messages().empty());
  EXPECT_EQ(Count, 2u);
  EXPECT_EQ(FileNameOf(SourceName), source_);
  EXPECT_EQ(FileNameOf(TargetName), target_);
  EXPECT_EQ(ui_.last_filters(), "Cratewise|*.crz|ALL|*.*");
  // Each appended record was converted from the record just read.
  ASSERT_EQ(engine_.appended_money.size(), 2u);
  EXPECT_EQ(engine_.appended_money[0], (std::vector<uint8_t>{0, 0, 0x01, 0, 0xF0, 0, 0x01, 0}));
  EXPECT_EQ(engine_.appended_money[1], (std::vector<uint8_t>{0, 0, 0x02, 0, 0xF0, 0, 0x02, 0}));
  ASSERT_TRUE(ui_.progress_spec().has_value());
  EXPECT_EQ(ui_.progress_spec()->title, "Converting File");
  EXPECT_EQ(ui_.progress_spec()->label, "Converting Record #:");
}

TEST_F(ConversionTest, EmptySourceNeverShowsTheWindowButStillBuildsAndCloses) {
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(From("progress open"),
            (Journal{"progress open", "NEXT REELBIN1", "FLUSH REELBIN1", "FLUSH REELBIN2",
                     "BUILDfile REELBIN2", "CLOSE REELBIN1", "CLOSE REELBIN2", "close"}));
  EXPECT_EQ(Count, 0u);
  EXPECT_TRUE(ui_.count_text().empty());
}

// A failure of a tested step shows one message and ends the procedure there;
// the program then closes the window and the files still open, the most
// recently opened first.
TEST_F(ConversionTest, TestedStepsEndTheRunEarly) {
  struct Case {
    const char* call;
    int from;
    int32_t code;
    const char* message;
    Journal tail;  // from the failing call to the end of the program
    uint32_t count;
  };
  const Case cases[] = {
      {"OPEN REELBIN1", 1, 2, "Error: File Not Found",
       {"OPEN REELBIN1 0x22", "message Error: File Not Found", "close"}, 0},
      {"CREATE REELBIN2", 1, 5, "Error: Access Denied",
       {"CREATE REELBIN2", "message Error: Access Denied", "close", "CLOSE REELBIN1"}, 0},
      {"OPEN REELBIN2", 1, 47, "Error: Invalid Record Declaration",
       {"OPEN REELBIN2 0x22", "message Error: Invalid Record Declaration", "close",
        "CLOSE REELBIN1"}, 0},
      {"APPEND REELBIN2", 3, 112, "Error: Unknown Error Posted : 112",
       {"APPEND REELBIN2", "message Error: Unknown Error Posted : 112", "close", "CLOSE REELBIN2",
        "CLOSE REELBIN1"}, 2},
      // A damaged source: NEXT keeps failing. The loop stops at once instead of
      // appending the previous record again and again.
      {"NEXT REELBIN1", 2, 90, "Error: File System Error",
       {"NEXT REELBIN1", "message Error: File System Error", "close", "CLOSE REELBIN2",
        "CLOSE REELBIN1"}, 1},
      // The target's commit, key build and close are checked too.
      {"FLUSH REELBIN2", 1, 112, "Error: Unknown Error Posted : 112",
       {"FLUSH REELBIN2", "message Error: Unknown Error Posted : 112", "close", "CLOSE REELBIN2",
        "CLOSE REELBIN1"}, 3},
      {"BUILDfile REELBIN2", 1, 93, "Error: BUILD Cancelled",
       {"BUILDfile REELBIN2", "message Error: BUILD Cancelled", "close", "CLOSE REELBIN2",
        "CLOSE REELBIN1"}, 3},
      {"CLOSE REELBIN2", 1, 5, "Error: Access Denied",
       {"CLOSE REELBIN2", "message Error: Access Denied", "close"}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    journal_.clear();
    engine_.calls.clear();
    engine_.failures = {{c.call, c.from, c.code}};
    engine_.records = 3;
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(ui_.messages().back(), c.message);
    const Journal tail(journal_.end() - static_cast<long>(std::min(c.tail.size(), journal_.size())),
                       journal_.end());
    EXPECT_EQ(tail, c.tail);
    EXPECT_EQ(std::count_if(journal_.begin(), journal_.end(),
                            [](const std::string& e) { return e.rfind("message", 0) == 0; }),
              1);
    EXPECT_EQ(Count, c.count);
  }
}

TEST_F(ConversionTest, UntestedStepsDoNotStopTheRun) {
  for (const char* call : {"COPY REELBIN1", "SETfile REELBIN1", "STREAM REELBIN1",
                           "STREAM REELBIN2", "FLUSH REELBIN1", "CLOSE REELBIN1"}) {
    SCOPED_TRACE(call);
    journal_.clear();
    engine_.calls.clear();
    engine_.failures = {{call, 1, 5}};
    engine_.records = 1;
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(ui_.messages().empty());
    EXPECT_EQ(journal_.back(), "close");
    EXPECT_EQ(journal_[journal_.size() - 2], "CLOSE REELBIN2");
  }
}

TEST_F(ConversionTest, CancelledDialogsLeaveBlankNamesThatTheOpenReports) {
  ui_.Cancel();
  ui_.Cancel();
  EXPECT_EQ(RunConverter(ui_), 1);
  EXPECT_EQ(FileNameOf(SourceName), "");
  EXPECT_EQ(FileNameOf(TargetName), "");
  EXPECT_EQ(ui_.messages(), (Journal{"Error: Invalid Filename"}));
  EXPECT_EQ(From("OPEN REELBIN1 0x22"),
            (Journal{"OPEN REELBIN1 0x22", "message Error: Invalid Filename", "close"}));
}

TEST_F(ConversionTest, CancelledSecondDialogIsReportedOnceTheSourceIsOpen) {
  ui_.Confirm(source_);
  ui_.Cancel();
  EXPECT_EQ(RunConverter(ui_), 1);
  EXPECT_EQ(FileNameOf(SourceName), source_);
  EXPECT_EQ(From("CREATE REELBIN2"), (Journal{"CREATE REELBIN2", "message Error: Invalid Filename",
                                              "close", "CLOSE REELBIN1"}));
}

// Converting a catalogue into its own file would empty it before it is read.
TEST_F(ConversionTest, TargetThatIsTheSourceFileIsRefusedBeforeCreate) {
  std::filesystem::create_symlink(source_, dir_ / "link.crz");
  for (const std::string& target :
       {source_, (dir_ / "." / "old.crz").string(), (dir_ / "link.crz").string(),
        source_ + "\\!OTHER"}) {
    SCOPED_TRACE(target);
    journal_.clear();
    ui_.Confirm(source_);
    ui_.Confirm(target);
    EXPECT_EQ(RunConverter(ui_), 1);
    EXPECT_EQ(ui_.messages().back(), "Error: File Already Open");
    EXPECT_EQ(From("SETfile REELBIN1"),
              (Journal{"SETfile REELBIN1", "message Error: File Already Open", "close",
                       "CLOSE REELBIN1"}));
  }
}

TEST_F(ConversionTest, BackupGoesToTheHomeDirectoryOrElseTheCurrentOne) {
  ::unsetenv("HOME");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(journal_[2], "COPY REELBIN1 crzconv.bak");
  // A home too long for the backup variable gives no backup rather than a
  // cut path that names some other file.
  journal_.clear();
  ::setenv("HOME", ("/" + std::string(255, 'h')).c_str(), 1);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(journal_[2], "COPY REELBIN1 ");
}

}  // namespace
}  // namespace vantrose
