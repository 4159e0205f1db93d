#include "app/check_error.h"

#include <gtest/gtest.h>

#include "platform/scripted_ui.h"
#include "runtime/declared.h"
#include "runtime/error_state.h"

namespace vantrose {
namespace {

// A message box whose own work disturbs the error state.
class DisturbingUserInterface : public ScriptedUserInterface {
 public:
  void MessageBox(std::string_view text) override {
    ScriptedUserInterface::MessageBox(text);
    PostError(ERR_ACCESS_DENIED);
  }
};

TEST(CheckErrorTest, ShowsTheErrorTextAndAnswersTheCode) {
  struct Case {
    int32_t code;
    const char* shown;  // nullptr: nothing shown
  };
  const Case cases[] = {
      {0, nullptr},
      {2, "Error: File Not Found"},
      {90, "Error: File System Error"},  // the file-error pair is not shown
      {112, "Error: Unknown Error Posted : 112"},
  };
  DeclaredFile file;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    ScriptedUserInterface ui;
    ClearError();
    if (c.code != 0) {
      SetFileErrorPair("1234", "Possible data corruption in file");
      PostFileError(c.code, &file);
    }
    EXPECT_EQ(CheckError(ui), c.code);
    if (c.shown == nullptr) {
      EXPECT_TRUE(ui.entries().empty());
    } else {
      EXPECT_EQ(ui.messages(), std::vector<std::string>{c.shown});
    }
    EXPECT_EQ(Errors().code, c.code);
  }
  ClearError();
}

TEST(CheckErrorTest, TheBoxLeavesTheErrorStateAsItWas) {
  DeclaredFile file;
  ClearError();
  PostFileError(ERR_FILE_NOT_FOUND, &file);
  DisturbingUserInterface ui;
  EXPECT_EQ(CheckError(ui), ERR_FILE_NOT_FOUND);
  EXPECT_EQ(Errors().code, ERR_FILE_NOT_FOUND);
  EXPECT_EQ(ErrorText(), "File Not Found");
  EXPECT_EQ(Errors().file, &file);
  ClearError();
}

}  // namespace
}  // namespace vantrose
