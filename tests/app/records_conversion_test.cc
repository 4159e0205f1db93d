// A whole conversion of a version-2 catalogue written by another program:
// every source record is read in record-number order and lands in the
// version-3 target, converted, under the same order.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/assign_record.h"
#include "app/conversion.h"
#include "app/declarations.h"
#include "engine/front/operations.h"
#include "platform/scripted_ui.h"
#include "runtime/error_state.h"
#include "runtime/open_files.h"
#include "tests/support/converter_test.h"

namespace vantrose {
namespace {

using testing::Contents;

class RecordsConversionTest : public ConverterTest<> {
 protected:
  void SetUp() override {
    ConverterTest::SetUp();
    std::filesystem::copy_file(VANTROSE_TEST_DATA "/catalogue-v2-50.crz", source_);
    const std::string records = Contents(VANTROSE_TEST_DATA "/catalogue-v2-50.crz.records");
    ASSERT_EQ(records.size() % kCatalogueRecordLength, 0u);
    for (size_t at = 0; at < records.size(); at += kCatalogueRecordLength) {
      source_records_.push_back(records.substr(at, kCatalogueRecordLength));
    }
    StartProgram();
    ClearError();
  }

  std::vector<std::string> source_records_;
};

TEST_F(RecordsConversionTest, EveryRecordIsCopiedConvertedInRecordNumberOrder) {
  ScriptedUserInterface ui;
  ui.Confirm(source_);
  ui.Confirm(target_);
  RunConverter(ui);
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(Count, source_records_.size());

  // The source reads back exactly as the other program wrote it.
  SetFileName(SourceName, source_);
  ASSERT_EQ(Call(op::OPEN, REELBIN1, 0x22), 0);
  EXPECT_EQ(Result(op::RECORDSfile, REELBIN1), static_cast<int32_t>(source_records_.size()));
  ASSERT_EQ(Call(op::SETfile, REELBIN1), 0);
  for (const std::string& expected : source_records_) {
    ASSERT_EQ(Call(op::NEXT, REELBIN1), 0);
    ASSERT_EQ(std::memcmp(InRecord.data(), expected.data(), kCatalogueRecordLength), 0);
  }
  EXPECT_EQ(Call(op::NEXT, REELBIN1), ERR_RECORD_NOT_AVAILABLE);
  EXPECT_EQ(Call(op::CLOSE, REELBIN1), 0);

  // The target holds each of them converted, in the same order.
  SetFileName(TargetName, target_);
  ASSERT_EQ(Call(op::OPEN, REELBIN2, 0x22), 0);
  EXPECT_EQ(Result(op::RECORDSfile, REELBIN2), static_cast<int32_t>(source_records_.size()));
  ASSERT_EQ(Call(op::SETfile, REELBIN2), 0);
  for (const std::string& source : source_records_) {
    ASSERT_EQ(Call(op::NEXT, REELBIN2), 0);
    const std::vector<uint8_t> stored(MovRecord.begin(), MovRecord.end());
    std::memcpy(InRecord.data(), source.data(), kCatalogueRecordLength);
    AssignRecord();
    ASSERT_EQ(std::memcmp(stored.data(), MovRecord.data(), kCatalogueRecordLength), 0);
  }
  EXPECT_EQ(Call(op::NEXT, REELBIN2), ERR_RECORD_NOT_AVAILABLE);
  EXPECT_EQ(Call(op::CLOSE, REELBIN2), 0);
}

}  // namespace
}  // namespace vantrose
