#include "runtime/open_files.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/declared.h"

namespace vantrose {
namespace {

// Records every call; CLOSE makes the registry forget the file unless the
// file is labelled to fail, as the engine does after a failed CLOSE.
std::vector<std::string> g_calls;

int32_t RecordingEntry(int32_t op, DeclaredFile& file, const EngineArgs&) {
  g_calls.push_back(std::to_string(op) + " " + file.label);
  if (op == 7 && file.label != "stuck") ForgetDeclaredFile(&file);
  return 0;
}

class OpenFilesTest : public ::testing::Test {
 protected:
  OpenFilesTest() {
    for (DeclaredFile* f : {&a_, &b_, &c_, &stuck_}) f->entry = &RecordingEntry;
    a_.label = "a";
    b_.label = "b";
    c_.label = "c";
    stuck_.label = "stuck";
    g_calls.clear();
  }
  ~OpenFilesTest() override {
    for (DeclaredFile* f : {&a_, &b_, &c_, &stuck_}) ForgetDeclaredFile(f);
  }
  DeclaredFile a_, b_, c_, stuck_;
};

TEST_F(OpenFilesTest, ClosesOpenedFilesMostRecentlyOpenedFirst) {
  RegisterDeclaredFile(&a_);
  RegisterDeclaredFile(&b_);
  RegisterDeclaredFile(&c_);  // has a state but was never opened
  UpdateDeclaredFileMode(&b_, 0x22);
  UpdateDeclaredFileMode(&a_, 0x22);
  CloseAllDeclaredFiles();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"7 a", "7 b"}));
  EXPECT_FALSE(IsDeclaredFileRegistered(&a_));
  EXPECT_FALSE(IsDeclaredFileRegistered(&b_));
  EXPECT_TRUE(IsDeclaredFileRegistered(&c_));
}

TEST_F(OpenFilesTest, ReopeningMakesAFileTheMostRecent) {
  RegisterDeclaredFile(&a_);
  RegisterDeclaredFile(&b_);
  UpdateDeclaredFileMode(&a_, 0x22);
  UpdateDeclaredFileMode(&b_, 0x22);
  UpdateDeclaredFileMode(&a_, 0x42);  // SHARE after OPEN
  CloseAllDeclaredFiles();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"7 a", "7 b"}));
}

TEST_F(OpenFilesTest, ForgottenFilesAreNotClosedAndAFailedCloseIsNotRetried) {
  RegisterDeclaredFile(&a_);
  RegisterDeclaredFile(&stuck_);
  UpdateDeclaredFileMode(&a_, 0x22);
  UpdateDeclaredFileMode(&stuck_, 0x22);
  ForgetDeclaredFile(&a_);
  CloseAllDeclaredFiles();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"7 stuck"}));
  EXPECT_TRUE(IsDeclaredFileRegistered(&stuck_));
}

TEST_F(OpenFilesTest, RegisteringAgainStartsOverAsNotOpened) {
  RegisterDeclaredFile(&a_);
  UpdateDeclaredFileMode(&a_, 0x22);
  RegisterDeclaredFile(&a_);  // state discarded and made anew
  CloseAllDeclaredFiles();
  EXPECT_TRUE(g_calls.empty());
}

}  // namespace
}  // namespace vantrose
