#include <gtest/gtest.h>

#include <string>

#include "engine/storage/corruption.h"

namespace vantrose {
namespace {

// Outside an engine operation a report ends the process with its text and
// code. Runs first in a fresh process, before any test marks an operation.
TEST(CorruptionReport, OutsideAnOperationIsAFatalError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SetCorruptionFile("/data/catalogue.crz");
        ReportCorruption(1477);
      },
      ::testing::ExitedWithCode(3), "Possible data corruption in file \\(1477\\)");
  EXPECT_EXIT(
      {
        SetCorruptionFile("");
        ReportCorruption(2172);
      },
      ::testing::ExitedWithCode(3), "Fatal error:  \\(2172\\)");
}

struct TextCase {
  const char* name;
  const char* file;
  std::string message_4101;
  std::string expected;
};

TEST(CorruptionReport, InsideAnOperationUnwindsWithTheCodeAndText) {
  MarkEngineOperationInProgress();
  const std::string long_text(300, 'm');
  const TextCase cases[] = {
      {"file and built-in text", "cat.crz", "", "Possible data corruption in file"},
      {"file and the caller's message", "cat.crz", "Damaged file", "Damaged file"},
      {"caller's message cut to 219 characters", "cat.crz", long_text, long_text.substr(0, 219)},
      {"no current file", "", "Damaged file", "Vantrose File Driver Error"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetCorruptionFile(c.file);
    SetCorruptionMessageText(c.message_4101);
    try {
      ReportCorruption(530);
      ADD_FAILURE() << "returned";
    } catch (const CorruptionUnwind& unwind) {
      EXPECT_EQ(unwind.code, 530u);
      EXPECT_EQ(unwind.message, c.expected);
    }
  }
  SetCorruptionMessageText("");
  SetCorruptionFile("");
}

}  // namespace
}  // namespace vantrose
