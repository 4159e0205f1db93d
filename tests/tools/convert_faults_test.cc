// The converter against a damaged source and against being killed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/assign_record.h"
#include "app/conversion.h"
#include "app/declarations.h"
#include "engine/front/open_file_state.h"
#include "engine/front/operations.h"
#include "engine/storage/corruption.h"
#include "engine/storage/integrity_check.h"
#include "engine/table/statistics.h"
#include "platform/scripted_ui.h"
#include "runtime/error_state.h"
#include "tests/support/converter_test.h"
#include "tools/make_sample/sample_catalogue.h"

namespace vantrose {
namespace {

constexpr uint64_t kSeed = 77;
constexpr uint32_t kRecords = 300;

using testing::Contents;

class ConvertFaultsTest : public ConverterTest<> {
 protected:
  void SetUp() override {
    ConverterTest::SetUp();
    ASSERT_EQ(WriteSampleCatalogue(source_, kRecords, kSeed), 0);
  }
};

TEST_F(ConvertFaultsTest, DamagedDataPageStopsTheConversionWithFileSystemError) {
  // The track list of record 150 lies literally in its data page (text
  // without runs stays as it is in a page image), a page of a few thousand
  // bytes; scribble over the 8 KiB around it, its page's header included.
  FillSampleRecord(kSeed, 150, InRecord.data());
  const std::string songs(reinterpret_cast<const char*>(InRecord.data()) + 4301, 60);
  std::string bytes = Contents(source_);
  const size_t at = bytes.find(songs);
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(bytes.find(songs, at + 1), std::string::npos);
  const size_t from = at > 4096 ? (at - 4096) / 256 * 256 : 512;
  for (size_t i = from; i < from + 8192 && i < bytes.size(); ++i) bytes[i] = char(0xA5 ^ i);
  std::ofstream(source_, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));

  ScriptedUserInterface ui;
  ui.Confirm(source_);
  ui.Confirm(target_);
  EXPECT_EQ(RunConverter(ui), 1);
  ASSERT_EQ(ui.messages().size(), 1u);
  EXPECT_EQ(ui.messages()[0], "Error: File System Error");
  // It stopped at the damage: no record from there on was appended.
  EXPECT_LE(Count, 150u);
  EXPECT_LT(std::filesystem::file_size(target_), std::filesystem::file_size(source_));
}

TEST_F(ConvertFaultsTest, KilledConverterLeavesAnOpenableTargetHoldingAPrefix) {
  std::vector<std::vector<uint8_t>> expected;
  for (uint32_t i = 0; i < kRecords; ++i) {
    FillSampleRecord(kSeed, i, InRecord.data());
    AssignRecord();
    expected.emplace_back(MovRecord.begin(), MovRecord.end());
  }
  const std::string source_before = Contents(source_);
  const int rounds = std::getenv("VANTROSE_SOAK") ? 40 : 4;
  std::mt19937 random(12345);
  for (int round = 0; round < rounds; ++round) {
    std::filesystem::remove(target_);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ScriptedUserInterface ui;
      ui.Confirm(source_);
      ui.Confirm(target_);
      RunConverter(ui);
      ::_exit(0);
    }
    ::usleep(std::uniform_int_distribution<useconds_t>(20000, 1500000)(random));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);

    EXPECT_EQ(Contents(source_), source_before) << "round " << round;
    if (!std::filesystem::exists(target_)) continue;  // killed before CREATE
    SetFileName(TargetName, target_);
    const int32_t opened = Result(op::OPEN, REELBIN2, 0x22);
    if (Errors().code == ERR_FILE_NOT_FOUND) continue;  // killed before the table was made
    ASSERT_EQ(Errors().code, 0) << "round " << round << " " << opened;
    OpenFileState& state = *REELBIN2.state;
    MarkEngineOperationInProgress();
    // A commit cut short stays in its log until a writer finishes it.
    IntegrityOptions options;
    options.pending_log_expected = true;
    EXPECT_EQ(CheckIntegrity(*state.store, options), std::vector<std::string>{}) << "round " << round;
    const int32_t records = Result(op::RECORDSfile, REELBIN2);
    ASSERT_LE(records, int32_t(kRecords));
    ASSERT_EQ(Result(op::SETfile, REELBIN2), 0);
    for (int32_t i = 0; i < records; ++i) {
      ASSERT_EQ(Result(op::NEXT, REELBIN2), 0);
      ASSERT_EQ(Errors().code, 0);
      ASSERT_TRUE(std::equal(MovRecord.begin(), MovRecord.end(), expected[size_t(i)].begin()))
          << "round " << round << " record " << i;
    }
    Call(op::NEXT, REELBIN2);
    EXPECT_EQ(Errors().code, ERR_RECORD_NOT_AVAILABLE);
    // Every key's count is the number of its entries.
    for (size_t k = 0; k < REELBIN2.keys->size(); ++k) {
      DeclaredKey& declared = (*REELBIN2.keys)[k];
      if (state.keys[k].flags & KEY_INDEX) continue;
      Call(op::SETkey, REELBIN2, &declared);
      ASSERT_EQ(Errors().code, 0);
      uint32_t entries = 0;
      while (Call(op::NEXT, REELBIN2), Errors().code == 0) ++entries;
      EXPECT_EQ(Errors().code, ERR_RECORD_NOT_AVAILABLE);
      EXPECT_EQ(ReadCount(state, uint8_t(k)), entries) << "round " << round << " " << declared.label;
    }
    ClearEngineOperationInProgress();
    Call(op::CLOSE, REELBIN2);
    EXPECT_EQ(Errors().code, 0);
  }
}

}  // namespace
}  // namespace vantrose
