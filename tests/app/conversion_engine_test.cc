// The procedure over the real engine entry (the declarations' own).

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/conversion.h"
#include "app/declarations.h"
#include "platform/scripted_ui.h"
#include "runtime/error_state.h"
#include "runtime/open_files.h"

namespace vantrose {
namespace {

// The engine derives its descriptors from both declarations before it does
// anything else with a file: a source that does not exist must be reported
// as such, never as a declaration the engine refuses, and nothing may be
// left registered as open.
TEST(ConversionEngineTest, MissingSourceIsReportedAndNothingStaysOpen) {
  const std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  // The backup copy goes to $HOME: keep it inside the test's folder.
  const char* home = std::getenv("HOME");
  const std::string saved_home = home != nullptr ? home : "";
  ::setenv("HOME", dir.c_str(), 1);
  ScriptedUserInterface ui;
  ui.Confirm(dir + "/no-such-catalogue.crz");
  ui.Confirm(dir + "/converted.crz");
  EXPECT_EQ(RunConverter(ui), 1);
  ::setenv("HOME", saved_home.c_str(), 1);
  ASSERT_EQ(ui.messages().size(), 1u);
  for (int32_t refused : {ERR_INVALID_RECORD_DECL, ERR_INVALID_FIELD_TYPE, ERR_UNSUPPORTED_TYPE,
                          ERR_NO_MEMORY}) {
    EXPECT_NE(ui.messages()[0], "Error: " + std::string(MessageText(refused)));
  }
  EXPECT_EQ(Errors().file, &REELBIN1);
  EXPECT_FALSE(IsDeclaredFileRegistered(&REELBIN1));
  EXPECT_FALSE(IsDeclaredFileRegistered(&REELBIN2));
  ClearError();
}

}  // namespace
}  // namespace vantrose
