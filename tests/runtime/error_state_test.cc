#include "runtime/error_state.h"

#include <gtest/gtest.h>

#include "platform/os_error.h"
#include "runtime/declared.h"

namespace vantrose {
namespace {

class ErrorStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearError();
    SetLastOsErrorNumber(0);
  }
  void TearDown() override { SetLastOsErrorNumber(0); }
};

TEST_F(ErrorStateTest, PostingSetsCodeAndPaddedText) {
  struct Case {
    int32_t posted;
    int32_t os_error;
    int32_t code;
    const char* text;
  };
  const Case cases[] = {
      {2, 0, 2, "File Not Found"},
      {90, 0, 90, "File System Error"},
      {80, 0, 80, "Unsupported File Driver Function"},
      {112, 0, 112, "Unknown Error Posted : 112"},
      {1, 0, 1, "Unknown Error Posted : 1"},
      {-7, 0, -7, "Unknown Error Posted : -7"},
      // 0 stands for the operating system's last error.
      {0, 5, 305, "Access Denied"},
      {0, 80, 380, "File Already Exists"},
      {0, 112, 412, "Unknown Error Posted : 412"},
      {0, 0, 300, "Unknown Error Posted : 300"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.posted);
    SetLastOsErrorNumber(c.os_error);
    PostError(c.posted);
    const ErrorState& state = Errors();
    EXPECT_EQ(state.code, c.code);
    EXPECT_EQ(ErrorText(), c.text);
    ASSERT_EQ(state.text.size(), 80u);
    EXPECT_EQ(state.text.substr(0, std::string(c.text).size()), c.text);
    EXPECT_EQ(state.text.find_first_not_of(' ', std::string(c.text).size()), std::string::npos);
  }
}

TEST_F(ErrorStateTest, TextKeepsItsOwnTrailingBlankInsideThePadding) {
  PostError(ERR_BAD_PARAMETER_COUNT);
  EXPECT_EQ(Errors().text.substr(0, 30), "Invalid Number Of Parameters  ");
}

TEST_F(ErrorStateTest, FileOfTheErrorIsRecordedOnlyByAFilePost) {
  DeclaredFile file;
  PostFileError(ERR_FILE_NOT_FOUND, &file);
  EXPECT_EQ(Errors().file, &file);
  PostError(ERR_FILE_NOT_FOUND);
  EXPECT_EQ(Errors().file, nullptr);
}

TEST_F(ErrorStateTest, ClearBlanksEveryTextAndForgetsTheFile) {
  DeclaredFile file;
  SetFileErrorPair("1234", "Possible data corruption in file");
  PostFileError(ERR_FILE_SYSTEM, &file);
  EXPECT_EQ(Errors().file_error_code.substr(0, 5), "1234 ");
  ClearError();
  const ErrorState& state = Errors();
  EXPECT_EQ(state.code, 0);
  EXPECT_EQ(state.text, std::string(80, ' '));
  EXPECT_EQ(state.file_error_code, std::string(81, ' '));
  EXPECT_EQ(state.file_error_message, std::string(255, ' '));
  EXPECT_EQ(state.file, nullptr);
  EXPECT_EQ(ErrorText(), "");
}

TEST_F(ErrorStateTest, FileErrorPairIsCutToItsWidths) {
  SetFileErrorPair(std::string(100, '7'), std::string(300, 'm'));
  EXPECT_EQ(Errors().file_error_code, std::string(81, '7'));
  EXPECT_EQ(Errors().file_error_message, std::string(255, 'm'));
}

TEST(MessageTableTest, TextsOfFileOperationErrors) {
  const std::pair<int32_t, const char*> texts[] = {
      {2, "File Not Found"}, {3, "Path Not Found"}, {4, "Too Many Open Files"},
      {5, "Access Denied"}, {7, "Memory Corrupted"}, {8, "Insufficient Memory"},
      {30, "Entry Not Found"}, {32, "File Is Already Locked"}, {33, "Record Not Available"},
      {35, "Record Not Found"}, {36, "Invalid Data File"}, {37, "File Not Open"},
      {38, "Invalid Key File"}, {40, "Creates Duplicate Key"}, {43, "Record Is Already Held"},
      {45, "Invalid Filename"}, {46, "Key File Must Be Rebuilt"},
      {47, "Invalid Record Declaration"}, {48, "Unable To Log Transaction"},
      {52, "File Already Open"}, {53, "Invalid Corvex File"}, {54, "No Create Attribute"},
      {55, "File Must Be Shared"}, {56, "LOGOUT Already Active"}, {57, "Invalid Memo File"},
      {63, "Exclusive Access Required"}, {64, "Sharing Violation"},
      {65, "Unable To ROLLBACK Transaction"}, {73, "Memo File Missing"},
      {75, "Invalid Field Type Descriptor"}, {76, "Invalid Index String"},
      {77, "Unable To Access Index"}, {78, "Invalid Number Of Parameters "},
      {79, "Unsupported Data Type In File"}, {80, "Unsupported File Driver Function"},
      {81, "Unknown Error Posted"}, {88, "Invalid Key Length"},
      {89, "Record Changed By Another Station"}, {90, "File System Error"},
      {91, "LOGOUT Not Active"}, {92, "BUILD In Progress"}, {93, "BUILD Cancelled"},
      {95, "Server Not Found"}, {96, "Remote Object Not Found"},
      {301, "Invalid Function"}, {302, "File Not Found"}, {305, "Access Denied"},
      {332, "Sharing Violation"}, {380, "File Already Exists"}, {391, "Unknown Error"},
      {401, "Stack overflow"}, {410, "Pure Virtual Function Called"},
      {501, "Internal error 01"}, {515, "Internal error 15"},
      {521, "VBX control is too complex"}, {544, "Too Many VBX Hooks"},
      {601, "Invalid DDE channel"}, {605, "DDE transaction timed out"},
      {800, "Invalid expression for EVALUATE"}, {801, "No BIND on variable"},
      {802, "Mismatched PUSHSCOPE/POPSCOPE"},
  };
  for (const auto& [code, text] : texts) EXPECT_EQ(MessageText(code), text) << code;
}

TEST(MessageTableTest, EveryCodeOfTheListedRangesHasATextAndGapsHaveNone) {
  const std::pair<int32_t, int32_t> ranges[] = {
      {301, 391}, {401, 410}, {501, 515}, {521, 544}, {601, 605}, {800, 802}};
  for (const auto& [first, last] : ranges) {
    for (int32_t code = first; code <= last; ++code) EXPECT_FALSE(MessageText(code).empty()) << code;
  }
  for (int32_t code : {0, 1, 6, 9, 29, 31, 34, 97, 112, 300, 392, 400, 411, 516, 606, 799, 803}) {
    EXPECT_TRUE(MessageText(code).empty()) << code;
  }
}

}  // namespace
}  // namespace vantrose
