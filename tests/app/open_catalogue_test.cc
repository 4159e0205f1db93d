// The converter's two declarations against real catalogue files: one
// written by another program, and one made through the engine.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/conversion.h"
#include "app/declarations.h"
#include "engine/front/open_file_state.h"
#include "platform/scripted_ui.h"
#include "runtime/error_state.h"
#include "runtime/open_files.h"
#include "runtime/string_stack.h"
#include "tests/support/converter_test.h"

namespace vantrose {
namespace {

using testing::Contents;

class OpenCatalogueTest : public ConverterTest<> {
 protected:
  void SetUp() override {
    ConverterTest::SetUp();
    std::filesystem::copy_file(VANTROSE_TEST_DATA "/catalogue-v2-50.crz", source_);
    StartProgram();
    ClearError();
  }
};

TEST_F(OpenCatalogueTest, AVersion2CatalogueOpensAsTheSourceOnly) {
  SetFileName(SourceName, source_);
  SetFileName(TargetName, source_);
  EXPECT_EQ(Call(op::OPEN, REELBIN2, 0x22), ERR_INVALID_RECORD_DECL);
  EXPECT_EQ(REELBIN2.state, nullptr);
  ASSERT_EQ(Call(op::OPEN, REELBIN1, 0x22), 0);
  Call(op::NAME, REELBIN1);
  EXPECT_EQ(PopString(), source_);
  EXPECT_EQ(Call(op::CLOSE, REELBIN1), 0);
  EXPECT_FALSE(IsDeclaredFileRegistered(&REELBIN1));
}

TEST_F(OpenCatalogueTest, ACatalogueMadeThroughTheSourceDeclaration) {
  DeclaredFile maker = REELBIN1;
  maker.attributes |= DECL_CREATE;
  maker.state = nullptr;
  const std::string made = (dir_ / "made.crz").string();
  SetFileName(SourceName, made);
  SetFileName(TargetName, made);
  ASSERT_EQ(Call(op::CREATE, maker), 0);
  EXPECT_EQ(Call(op::OPEN, REELBIN2, 0x22), ERR_INVALID_RECORD_DECL);
  ASSERT_EQ(Call(op::OPEN, REELBIN1, 0x22), 0);
  EXPECT_EQ(Call(op::CLOSE, REELBIN1), 0);
}

// Backup, source and target are right whatever later stage of the run
// the engine supports yet (an unsupported one stops it with 80).
TEST_F(OpenCatalogueTest, TheConverterBacksUpOpensAndCreates) {
  ScriptedUserInterface ui;
  ui.Confirm(source_);
  ui.Confirm(target_);
  RunConverter(ui);
  for (const std::string& message : ui.messages()) {
    EXPECT_EQ(message, "Error: Unsupported File Driver Function");
  }
  EXPECT_EQ(Contents(dir_ / "crzconv.bak"), Contents(VANTROSE_TEST_DATA "/catalogue-v2-50.crz"));
  EXPECT_EQ(Contents(source_), Contents(VANTROSE_TEST_DATA "/catalogue-v2-50.crz"));
  // The target was made and closed again at the end of the run.
  SetFileName(TargetName, target_);
  EXPECT_EQ(Call(op::OPEN, REELBIN2, 0x22), 0);
  EXPECT_EQ(Call(op::CLOSE, REELBIN2), 0);
}

}  // namespace
}  // namespace vantrose
