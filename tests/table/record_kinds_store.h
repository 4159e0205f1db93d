// A fresh table file in the test's temporary directory, opened for writing,
// and a table state on it: the ground for tests of the stored records of a
// table.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/storage/commit.h"
#include "engine/storage/file_store.h"
#include "engine/table/table_state.h"
#include "tests/support/files.h"

namespace vantrose {

class TableFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(StoreOpen(store_, path_, 0x142, ""), 0);
    ASSERT_EQ(EnterWriteMode(store_), 0);
    state_.store = &store_;
  }
  void TearDown() override {
    StoreClose(store_);
  }

  testing::ScratchDir scratch_;
  const std::string path_ = scratch_.File("tables.VNT");
  FileStore store_;
  TableState state_;
};

}  // namespace vantrose
