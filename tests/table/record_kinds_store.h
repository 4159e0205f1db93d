// A fresh table file in the test's temporary directory, opened for writing,
// and a table state on it: the ground for tests of the stored records of a
// table.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "engine/storage/commit.h"
#include "engine/storage/file_store.h"
#include "engine/table/table_state.h"

namespace vantrose {

class TableFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    path_ = std::string(tmp ? tmp : "/tmp") + "/tables-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".VNT";
    ::unlink(path_.c_str());
    ASSERT_EQ(StoreOpen(store_, path_, 0x142, ""), 0);
    ASSERT_EQ(EnterWriteMode(store_), 0);
    state_.store = &store_;
  }
  void TearDown() override {
    StoreClose(store_);
    ::unlink(path_.c_str());
  }

  std::string path_;
  FileStore store_;
  TableState state_;
};

}  // namespace vantrose
