// The converter's two declarations against real catalogue files: one
// written by another program, and one made through the engine.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/conversion.h"
#include "app/declarations.h"
#include "engine/front/engine_entry.h"
#include "engine/front/open_file_state.h"
#include "platform/scripted_ui.h"
#include "runtime/error_state.h"
#include "runtime/open_files.h"
#include "runtime/string_stack.h"

namespace vantrose {
namespace {

std::string Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class OpenCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") /
           ("open_catalogue_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    catalogue_ = (dir_ / "old.crz").string();
    std::filesystem::copy_file(VANTROSE_TEST_DATA "/catalogue-v2-50.crz", catalogue_);
    home_ = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", dir_.c_str(), 1);
    StartProgram();
    ClearError();
  }
  void TearDown() override {
    ::setenv("HOME", home_.c_str(), 1);
    std::filesystem::remove_all(dir_);
    ClearError();
  }
  static int32_t Call(int32_t operation, DeclaredFile& file, int32_t cell = 0) {
    EngineArgs args;
    args.cells[0] = cell;
    ClearError();
    EngineEntry(operation, file, args);
    return Errors().code;
  }

  std::filesystem::path dir_;
  std::string catalogue_;
  std::string home_;
};

TEST_F(OpenCatalogueTest, AVersion2CatalogueOpensAsTheSourceOnly) {
  SetFileName(SourceName, catalogue_);
  SetFileName(TargetName, catalogue_);
  EXPECT_EQ(Call(op::OPEN, REELBIN2, 0x22), ERR_INVALID_RECORD_DECL);
  EXPECT_EQ(REELBIN2.state, nullptr);
  ASSERT_EQ(Call(op::OPEN, REELBIN1, 0x22), 0);
  Call(op::NAME, REELBIN1);
  EXPECT_EQ(PopString(), catalogue_);
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
  const std::string target = (dir_ / "new.crz").string();
  ScriptedUserInterface ui;
  ui.Confirm(catalogue_);
  ui.Confirm(target);
  RunConverter(ui);
  for (const std::string& message : ui.messages()) {
    EXPECT_EQ(message, "Error: Unsupported File Driver Function");
  }
  EXPECT_EQ(Contents(dir_ / "crzconv.bak"), Contents(VANTROSE_TEST_DATA "/catalogue-v2-50.crz"));
  EXPECT_EQ(Contents(catalogue_), Contents(VANTROSE_TEST_DATA "/catalogue-v2-50.crz"));
  // The target was made and closed again at the end of the run.
  SetFileName(TargetName, target);
  EXPECT_EQ(Call(op::OPEN, REELBIN2, 0x22), 0);
  EXPECT_EQ(Call(op::CLOSE, REELBIN2), 0);
}

}  // namespace
}  // namespace vantrose
