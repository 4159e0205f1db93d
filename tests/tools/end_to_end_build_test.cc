// BUILDfile, BUILDkey and PACK through the engine entry, on a generated
// version-2 catalogue whose keys an APPEND left behind.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/conversion.h"
#include "app/declarations.h"
#include "engine/front/open_file_state.h"
#include "engine/front/operations.h"
#include "engine/storage/corruption.h"
#include "engine/storage/integrity_check.h"
#include "engine/table/statistics.h"
#include "runtime/error_state.h"
#include "tests/support/engine_calls.h"
#include "tests/support/files.h"
#include "tools/make_sample/sample_catalogue.h"

namespace vantrose {
namespace {

constexpr uint32_t kRecords = 40;
constexpr size_t kCreatedKey = 0;  // CREATEDKEY: every record has a value

class BuildOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(WriteSampleCatalogue(path_, kRecords, 5), 0);
    StartProgram();
    SetFileName(SourceName, path_);
    // One more record appended: every key is incomplete from it on.
    ASSERT_EQ(Call(op::OPEN, REELBIN1, nullptr, kConversionOpenMode), 0);
    FillSampleRecord(5, 0, InRecord.data());
    ASSERT_EQ(Call(op::APPEND, REELBIN1), 0);
    ASSERT_EQ(Call(op::CLOSE, REELBIN1), 0);
  }
  void TearDown() override {
    Call(op::CLOSE, REELBIN1);
    ClearError();
  }

  // Opens the file and answers key k's statistics: {count, first not indexed}.
  std::pair<uint32_t, uint32_t> KeyStatistics(size_t k) {
    EXPECT_EQ(Call(op::OPEN, REELBIN1, nullptr, kConversionOpenMode), 0);
    MarkEngineOperationInProgress();
    OpenFileState& state = *REELBIN1.state;
    std::pair<uint32_t, uint32_t> result{ReadCount(state, uint8_t(k)), FirstNotIndexed(state, uint8_t(k))};
    EXPECT_EQ(CheckIntegrity(*state.store), std::vector<std::string>{});
    ClearEngineOperationInProgress();
    EXPECT_EQ(Call(op::CLOSE, REELBIN1), 0);
    return result;
  }

  testing::ScratchDir scratch_;
  const std::string path_ = scratch_.File("cat.crz");
};

TEST_F(BuildOperationsTest, AppendLeavesTheKeysBehind) {
  EXPECT_EQ(KeyStatistics(kCreatedKey), std::make_pair(kRecords, kRecords + 2));
}

TEST_F(BuildOperationsTest, BuildFileOnAClosedFileOpensBuildsAndClosesIt) {
  EXPECT_EQ(Call(op::BUILDfile, REELBIN1), 0);
  ASSERT_NE(REELBIN1.state, nullptr);
  EXPECT_EQ(REELBIN1.state->flags & FS_OPEN, 0u);
  EXPECT_EQ(KeyStatistics(kCreatedKey), std::make_pair(kRecords + 1, 0u));
}

TEST_F(BuildOperationsTest, BuildKeyBuildsThatKeyOnly) {
  ASSERT_EQ(Call(op::OPEN, REELBIN1, nullptr, kConversionOpenMode), 0);
  EXPECT_EQ(Call(op::BUILDkey, REELBIN1, &(*REELBIN1.keys)[kCreatedKey]), 0);
  EXPECT_EQ(Result(op::RECORDSkey, REELBIN1, &(*REELBIN1.keys)[kCreatedKey]), int32_t(kRecords + 1));
  ASSERT_EQ(Call(op::CLOSE, REELBIN1), 0);
  EXPECT_EQ(KeyStatistics(kCreatedKey).second, 0u);
  EXPECT_EQ(KeyStatistics(kCreatedKey + 3).second, kRecords + 2);  // GIVENTOKEY still behind
}

TEST_F(BuildOperationsTest, BuildOnAFileOpenForReadingOnlyIsRefused) {
  ASSERT_EQ(Call(op::OPEN, REELBIN1, nullptr, 0x20), 0);
  EXPECT_EQ(Call(op::BUILDfile, REELBIN1), ERR_ACCESS_DENIED);
  ASSERT_EQ(Call(op::CLOSE, REELBIN1), 0);
  EXPECT_EQ(KeyStatistics(kCreatedKey).second, kRecords + 2);
}

TEST_F(BuildOperationsTest, PackBuildsTheKeysAndTrimsTheFile) {
  ASSERT_EQ(Call(op::OPEN, REELBIN1, nullptr, kConversionOpenMode), 0);
  EXPECT_EQ(Call(op::PACK, REELBIN1), 0);
  ASSERT_EQ(Call(op::CLOSE, REELBIN1), 0);
  EXPECT_EQ(KeyStatistics(kCreatedKey), std::make_pair(kRecords + 1, 0u));
}

}  // namespace
}  // namespace vantrose
