// Whole conversions of generated version-2 catalogues: the converter runs
// as the program does, and the target is then read back through the
// version-3 declaration, record by record and key by key.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/assign_record.h"
#include "app/conversion.h"
#include "app/declarations.h"
#include "engine/front/open_file_state.h"
#include "engine/front/operations.h"
#include "engine/storage/corruption.h"
#include "engine/storage/integrity_check.h"
#include "engine/table/key_value.h"
#include "engine/table/statistics.h"
#include "platform/scripted_ui.h"
#include "runtime/error_state.h"
#include "tests/support/converter_test.h"
#include "tools/make_sample/sample_catalogue.h"

namespace vantrose {
namespace {

constexpr uint64_t kSeed = 20261211;

using Image = std::vector<uint8_t>;
using testing::Contents;

class EndToEndTest : public ConverterTest<::testing::TestWithParam<uint32_t>> {
 protected:
  // The converted image of each sample record, in record order.
  std::vector<Image> ExpectedTarget(uint32_t records) {
    std::vector<Image> images;
    for (uint32_t i = 0; i < records; ++i) {
      FillSampleRecord(kSeed, i, InRecord.data());
      AssignRecord();
      images.emplace_back(MovRecord.begin(), MovRecord.end());
    }
    return images;
  }
};

TEST_P(EndToEndTest, TargetHoldsEveryRecordConvertedAndEveryKeyBuilt) {
  const uint32_t records = GetParam();
  ASSERT_EQ(WriteSampleCatalogue(source_, records, kSeed), 0);
  const std::string source_bytes_before = Contents(source_);
  EXPECT_EQ(source_bytes_before.size(), std::filesystem::file_size(source_));

  ScriptedUserInterface ui;
  ui.Confirm(source_);
  ui.Confirm(target_);
  EXPECT_EQ(RunConverter(ui), 0);
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(Count, records);

  const std::vector<Image> expected = ExpectedTarget(records);
  SetFileName(TargetName, target_);
  ASSERT_EQ(Call(op::OPEN, REELBIN2, nullptr, 0x22), 0);
  EXPECT_EQ(Result(op::RECORDSfile, REELBIN2), static_cast<int32_t>(records));
  ASSERT_EQ(Call(op::SETfile, REELBIN2), 0);
  std::map<Image, uint32_t> record_of;  // image -> record number in file order
  for (uint32_t i = 0; i < records; ++i) {
    ASSERT_EQ(Call(op::NEXT, REELBIN2), 0) << i;
    ASSERT_TRUE(std::equal(MovRecord.begin(), MovRecord.end(), expected[i].begin())) << i;
    record_of[expected[i]] = i;
  }
  EXPECT_EQ(Call(op::NEXT, REELBIN2), ERR_RECORD_NOT_AVAILABLE);

  OpenFileState& state = *REELBIN2.state;
  MarkEngineOperationInProgress();  // a corruption report fails the test, not the run
  for (size_t k = 0; k < REELBIN2.keys->size(); ++k) {
    DeclaredKey& declared = (*REELBIN2.keys)[k];
    const KeyDescriptor& key = state.keys[k];
    const uint8_t subject = static_cast<uint8_t>(k);
    if (key.flags & KEY_INDEX) {
      EXPECT_EQ(ReadCount(state, subject), 0u) << declared.label;
      continue;
    }
    // The records the key covers: all but those blank in every component.
    std::vector<uint32_t> covered;
    for (uint32_t i = 0; i < records; ++i) {
      bool blank = (key.flags & KEY_OPT) != 0;
      for (const KeyComponent& component : key.components) {
        const FieldDescriptor& field = *component.field;
        const uint8_t fill = field.type == TYPE_STRING ? ' ' : 0;
        for (uint32_t b = 0; b < field.size && blank; ++b) blank = expected[i][field.offset + b] == fill;
      }
      if (!blank) covered.push_back(i);
    }
    // Walked in key order: exactly those records, by value and then by
    // record number.
    ASSERT_EQ(Call(op::SETkey, REELBIN2, &declared), 0) << declared.label;
    std::vector<uint32_t> walked;
    Image previous_value, value(KeyValueLength(key));
    for (;;) {
      const int32_t rc = Call(op::NEXT, REELBIN2);
      if (rc == ERR_RECORD_NOT_AVAILABLE) break;
      ASSERT_EQ(rc, 0) << declared.label;
      const Image image(MovRecord.begin(), MovRecord.end());
      ASSERT_EQ(record_of.count(image), 1u) << declared.label;
      const uint32_t record = record_of[image];
      FormKeyValue(state, key, value.data(), image);
      if (!walked.empty()) {
        ASSERT_TRUE(previous_value < value || (previous_value == value && walked.back() < record))
            << declared.label << " at " << walked.size();
      }
      walked.push_back(record);
      previous_value = value;
    }
    std::vector<uint32_t> sorted = walked;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, covered) << declared.label;
    EXPECT_EQ(ReadCount(state, subject), covered.size()) << declared.label;
    EXPECT_EQ(FirstNotIndexed(state, subject), 0u) << declared.label;
  }
  EXPECT_EQ(CheckIntegrity(*state.store), std::vector<std::string>{});
  ClearEngineOperationInProgress();
  EXPECT_EQ(Call(op::CLOSE, REELBIN2), 0);

  const std::string source_bytes_after = Contents(source_);
  EXPECT_EQ(source_bytes_after.size(), std::filesystem::file_size(source_));
  EXPECT_TRUE(source_bytes_after == source_bytes_before);
}

// 4000 records: the items of the longest keys pass one in-memory batch of
// the sorter, which spills its runs to a temporary file.
INSTANTIATE_TEST_SUITE_P(Sizes, EndToEndTest, ::testing::Values(0u, 1u, 300u, 4000u));

}  // namespace
}  // namespace vantrose
