// Ground for tests that run the converter or use its two declarations on
// real catalogue files: a scratch directory per test holding the source
// ("old.crz") and the target ("new.crz"), with $HOME pointed into it for the
// run, since the converter writes its backup copy there.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "runtime/error_state.h"
#include "tests/support/engine_calls.h"
#include "tests/support/files.h"

namespace vantrose {

// `Base` is ::testing::Test, or ::testing::TestWithParam<T> for a
// parameterised suite.
template <typename Base = ::testing::Test>
class ConverterTest : public Base {
 protected:
  void SetUp() override {
    const char* home = getenv("HOME");
    home_ = home != nullptr ? home : "";
    setenv("HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    setenv("HOME", home_.c_str(), 1);
    ClearError();
  }

  testing::ScratchDir scratch_;
  const std::filesystem::path dir_ = scratch_.path();
  const std::string source_ = scratch_.File("old.crz");
  const std::string target_ = scratch_.File("new.crz");

 private:
  std::string home_;
};

}  // namespace vantrose
