// The procedure over the real engine entry (the declarations' own).

#include <gtest/gtest.h>

#include <string>

#include "app/conversion.h"
#include "app/declarations.h"
#include "platform/scripted_ui.h"
#include "runtime/error_state.h"
#include "runtime/open_files.h"
#include "tests/support/converter_test.h"

namespace vantrose {
namespace {

using ConversionEngineTest = ConverterTest<>;

// The engine derives its descriptors from both declarations before it does
// anything else with a file: a source that does not exist must be reported
// as such, never as a declaration the engine refuses, and nothing may be
// left registered as open.
TEST_F(ConversionEngineTest, MissingSourceIsReportedAndNothingStaysOpen) {
  ScriptedUserInterface ui;
  ui.Confirm(scratch_.File("no-such-catalogue.crz"));
  ui.Confirm(scratch_.File("converted.crz"));
  EXPECT_EQ(RunConverter(ui), 1);
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
