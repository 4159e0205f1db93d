// Ground for the tests of OPEN, CREATE, CLOSE, COPY, RENAME and REMOVE: a
// fresh working directory per test (relative names resolve into it), the
// declared test file, and calls through the engine entry that answer the
// posted error code.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "engine/front/engine_entry.h"
#include "engine/front/open_file_registry.h"
#include "engine/front/open_file_state.h"
#include "engine/front/operations.h"
#include "engine/storage/byte_order.h"
#include "engine/storage/commit.h"
#include "engine/storage/page_tree.h"
#include "engine/table/record_kinds.h"
#include "engine/table/statistics.h"
#include "engine/table/table_records.h"
#include "runtime/error_state.h"
#include "runtime/string_stack.h"
#include "tests/front/declared_test_file.h"
#include "tests/support/engine_calls.h"
#include "tests/support/files.h"

namespace vantrose {

// A declared test file with a name of the caller's choice and the CREATE
// attribute.
struct NamedFile : TestFile {
  explicit NamedFile(std::string name) {
    name_text = std::move(name);
    file.name = DeclaredText{name_text.data(), static_cast<int32_t>(name_text.size())};
    file.attributes = DECL_CREATE;
  }
};

class TableOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    dir_ = std::filesystem::path(tmp ? tmp : "/tmp") /
           ("ops-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    ClearError();
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(dir_);
    while (StringStackDepth() > 0) PopString();
    ClearError();
  }

  static int32_t Call(int32_t operation, TestFile& t, int32_t cell = 0) {
    return vantrose::Call(operation, t.file, cell);
  }
  static int32_t Open(TestFile& t, int32_t mode = 0x22) { return Call(op::OPEN, t, mode); }
  static int32_t Create(TestFile& t) { return Call(op::CREATE, t); }
  static int32_t Close(TestFile& t) { return Call(op::CLOSE, t); }
  static int32_t WithTarget(int32_t operation, TestFile& t, const std::string& target) {
    PushString(target);
    return Call(operation, t);
  }
  static std::string Name(TestFile& t) {
    Call(op::NAME, t);
    return PopString();
  }
  // Stores `count` data records (their number repeated as the record) into
  // the open table, as APPEND would, and commits them.
  static void AddRecords(TestFile& t, int count) {
    TableState& state = *t.file.state;
    ASSERT_EQ(EnterWriteMode(*state.store), 0);
    for (int i = 0; i < count; ++i) {
      uint32_t number = NextNumber(*state.store);
      uint8_t key[kDataKeyLength];
      DataKey(key, state.table_number, number);
      std::vector<uint8_t> image(state.record_length, static_cast<uint8_t>(number));
      Insert(*state.store, RecordNode::FromBytes(KeyBytes(key, sizeof key), image));
      AddToCount(state, kDataSubject, 1);
    }
    ASSERT_EQ(LeaveWriteMode(*state.store), 0);
  }
  // Opens the table `t`, stores `count` records in it as AddRecords does and
  // closes it again; answers its table number and the record numbers.
  static void FillTable(TestFile& t, int count, uint32_t* table = nullptr,
                        std::vector<uint32_t>* numbers = nullptr) {
    ASSERT_EQ(Open(t), 0);
    ASSERT_NO_FATAL_FAILURE(AddRecords(t, count));
    if (table != nullptr) *table = t.file.state->table_number;
    if (numbers != nullptr) *numbers = RecordNumbers(t);
    ASSERT_EQ(Close(t), 0);
  }
  // The record numbers of the open table's data records, in order.
  static std::vector<uint32_t> RecordNumbers(TestFile& t) {
    TableState& state = *t.file.state;
    std::vector<uint32_t> numbers;
    for (RecordNode* r = FirstOfKind(*state.store, state.table_number, KIND_DATA);
         r != nullptr && r->key_length() == kDataKeyLength &&
         KeyTable(r->bytes()) == state.table_number && KeyKind(r->bytes()) == KIND_DATA;
         r = FindNext(*state.store, *r)) {
      numbers.push_back(LoadBE32(r->bytes() + kTablePrefixLength));
    }
    return numbers;
  }

  std::string InDir(const std::string& name) const { return (dir_ / name).string(); }
  static bool Exists(const std::string& path) { return std::filesystem::exists(path); }
  static std::string Contents(const std::string& path) { return testing::Contents(path); }
  // Only the named files are in the working directory: no temporary file
  // was left behind.
  void ExpectDirectoryHolds(const std::set<std::string>& names) const {
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      found.insert(entry.path().filename().string());
    }
    EXPECT_EQ(found, names);
  }

  std::filesystem::path dir_;
  std::filesystem::path previous_;
};

}  // namespace vantrose
