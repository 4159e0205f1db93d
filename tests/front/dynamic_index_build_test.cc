// BUILDdyn and BUILDdynfilter through the engine entry on the small test
// declaration (T:DYNKEY is its dynamic index), and BUILDkey on a closed file
// whose declaration has no record buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/front/dispatch.h"
#include "engine/storage/corruption.h"
#include "engine/storage/file_store.h"
#include "engine/storage/integrity_check.h"
#include "engine/table/dynamic_index.h"
#include "tests/front/open_fixture.h"

namespace vantrose {
namespace {

constexpr size_t kTitleKey = 0;
constexpr size_t kDynamicKey = 1;

struct Row {
  std::string title;
  int32_t count;
};

const std::vector<Row> kRows = {{"pear", 3}, {"apple", 1}, {"fig", 4}, {"kiwi", 2}, {"date", 3}};

class DynamicBuildTest : public TableOperationsTest {
 protected:
  // A call with a key argument; answers the posted error, the result value
  // in result_.
  int32_t KeyCall(int32_t operation, TestFile& t, size_t key, int32_t cell = 0) {
    EngineArgs args;
    args.key = &t.keys[key];
    args.cells[0] = cell;
    ClearError();
    result_ = EngineEntry(operation, t.file, args);
    return Errors().code;
  }
  int32_t BuildDyn(TestFile& t, const std::string& components, size_t key = kDynamicKey) {
    PushString(components);
    return KeyCall(op::BUILDdyn, t, key);
  }
  // The caller pushes the filter first: the components are popped first.
  int32_t BuildDynFilter(TestFile& t, const std::string& components, const std::string& filter) {
    PushString(filter);
    PushString(components);
    return KeyCall(op::BUILDdynfilter, t, kDynamicKey);
  }

  static void SetRow(TestFile& t, const Row& row) {
    std::fill(t.buffer.begin(), t.buffer.end(), ' ');
    std::memcpy(t.buffer.data(), row.title.data(), row.title.size());
    std::memcpy(t.buffer.data() + 24, &row.count, 4);
  }
  // A new file holding kRows, added with `operation` (ADD or APPEND), open.
  void CreateWithRows(TestFile& t, int32_t operation = op::ADD) {
    t.file.attributes = DECL_CREATE;
    ASSERT_EQ(Create(t), 0);
    ASSERT_EQ(Open(t), 0);
    for (const Row& row : kRows) {
      SetRow(t, row);
      ASSERT_EQ(Call(operation, t), 0);
    }
  }

  static std::string Title(const TestFile& t) {
    std::string title(t.buffer.begin(), t.buffer.begin() + 24);
    return title.substr(0, title.find_last_not_of(' ') + 1);
  }
  // The titles in the key's order, from SET(key) on.
  std::vector<std::string> Walk(TestFile& t, size_t key = kDynamicKey) {
    std::vector<std::string> titles;
    EXPECT_EQ(KeyCall(op::SETkey, t, key), 0);
    while (Call(op::NEXT, t) == 0) titles.push_back(Title(t));
    return titles;
  }
  int32_t Records(TestFile& t, size_t key = kDynamicKey) {
    EXPECT_EQ(KeyCall(op::RECORDSkey, t, key), 0);
    return result_;
  }

  // The titles of the rows `take` accepts, sorted by `less`.
  template <typename Take, typename Less>
  static std::vector<std::string> Expected(Take take, Less less) {
    std::vector<Row> rows;
    std::copy_if(kRows.begin(), kRows.end(), std::back_inserter(rows), take);
    std::stable_sort(rows.begin(), rows.end(), less);
    std::vector<std::string> titles;
    for (const Row& row : rows) titles.push_back(row.title);
    return titles;
  }
  static bool All(const Row&) { return true; }
  static bool ByTitle(const Row& a, const Row& b) { return a.title < b.title; }
  static bool ByCountDown(const Row& a, const Row& b) { return a.count > b.count; }

  static std::vector<std::string> Integrity(const std::string& path) {
    FileStore store;
    EXPECT_EQ(StoreOpen(store, path, OPEN_READ_ONLY | OPEN_DENY_NONE, ""), 0);
    std::vector<std::string> problems = CheckIntegrity(store);
    ClearEngineOperationInProgress();  // the checker leaves its mark for the reports it catches
    StoreClose(store);
    return problems;
  }

  int32_t result_ = 0;
};

TEST_F(DynamicBuildTest, IndexIsRefusedUntilBuiltAndLivesUntilClose) {
  TestFile t;
  CreateWithRows(t);
  EXPECT_EQ(KeyCall(op::SETkey, t, kDynamicKey), ERR_KEY_MUST_BE_REBUILT);
  EXPECT_EQ(KeyCall(op::RECORDSkey, t, kDynamicKey), ERR_KEY_MUST_BE_REBUILT);
  const std::string file_before = Contents("demo.vnt");

  ASSERT_EQ(BuildDyn(t, "-T:COUNT"), 0);
  EXPECT_EQ(Walk(t), Expected(All, ByCountDown));
  EXPECT_EQ(Records(t), int32_t(kRows.size()));
  // A sequence on the index does not outlive its entries.
  ASSERT_EQ(KeyCall(op::SETkey, t, kDynamicKey), 0);
  ASSERT_EQ(Call(op::NEXT, t), 0);
  ASSERT_EQ(BuildDyn(t, "T:TITLE"), 0);
  EXPECT_EQ(Call(op::NEXT, t), ERR_RECORD_NOT_AVAILABLE);
  EXPECT_EQ(Walk(t), Expected(All, ByTitle));
  EXPECT_EQ(Records(t), int32_t(kRows.size()));
  // The builds changed nothing in the file.
  EXPECT_EQ(Contents("demo.vnt"), file_before);

  ASSERT_EQ(Close(t), 0);
  EXPECT_EQ(Integrity("demo.vnt"), std::vector<std::string>{});
  ASSERT_EQ(Open(t), 0);
  EXPECT_EQ(KeyCall(op::SETkey, t, kDynamicKey), ERR_KEY_MUST_BE_REBUILT);
  ASSERT_EQ(Close(t), 0);
  // A closed file is not built on.
  EXPECT_EQ(BuildDyn(t, "T:TITLE"), ERR_FILE_NOT_OPEN);
}

TEST_F(DynamicBuildTest, TextsNotUnderstoodChangeNothingAndEndTheFullBuildRequest) {
  TestFile t;
  CreateWithRows(t);
  ASSERT_EQ(BuildDyn(t, "T:TITLE"), 0);
  const std::vector<std::string> built = Walk(t);
  struct Case {
    const char* components;
    const char* filter;  // null: BUILDdyn
    int32_t error;
  };
  const Case cases[] = {
      {"", nullptr, ERR_NO_MEMORY},                     // absent components
      {"   ", nullptr, ERR_NO_MEMORY},
      {"T:NOPE", nullptr, ERR_INVALID_INDEX_STRING},
      {"-T:COUNT,T:TITLE ,T:DATE", nullptr, ERR_INVALID_INDEX_STRING},
      {"", "T:COUNT > 1", ERR_NO_MEMORY},
      {"-T:COUNT", "T:COUNT >", 800},                   // "Invalid expression for EVALUATE"
      {"-T:COUNT", "T:NOPE = 1", 801},                  // "No BIND on variable"
  };
  for (const Case& c : cases) {
    t.file.state->table_flags |= RS_FULLBUILD;
    const int32_t error = c.filter == nullptr ? BuildDyn(t, c.components) : BuildDynFilter(t, c.components, c.filter);
    EXPECT_EQ(error, c.error) << c.components << " / " << (c.filter ? c.filter : "-");
    EXPECT_EQ(t.file.state->table_flags & RS_FULLBUILD, 0) << c.components;
    ASSERT_EQ(t.keys[kDynamicKey].descriptor->components.size(), 1u);
    EXPECT_EQ(t.keys[kDynamicKey].descriptor->components[0].field->name, "T:TITLE");
    EXPECT_EQ(Walk(t), built) << c.components;
  }
  // Only a dynamic index takes a component text.
  EXPECT_EQ(BuildDyn(t, "T:COUNT", kTitleKey), ERR_INVALID_INDEX_STRING);
  EXPECT_EQ(t.keys[kTitleKey].descriptor->components.size(), 2u);
  EXPECT_EQ(Close(t), 0);
}

TEST_F(DynamicBuildTest, FilterPicksTheRecords) {
  TestFile t;
  CreateWithRows(t);
  ASSERT_EQ(BuildDynFilter(t, "t:title", "T:COUNT >= 3 OR T:TITLE = 'apple'"), 0);
  const std::vector<std::string> expected =
      Expected([](const Row& row) { return row.count >= 3 || row.title == "apple"; }, ByTitle);
  EXPECT_EQ(Walk(t), expected);
  EXPECT_EQ(Records(t), int32_t(expected.size()));
  EXPECT_EQ(Close(t), 0);
}

TEST_F(DynamicBuildTest, FileOpenedForReadingIsBuiltOnToo) {
  TestFile t;
  CreateWithRows(t);
  ASSERT_EQ(Close(t), 0);
  ASSERT_EQ(Open(t, OPEN_READ_ONLY | OPEN_DENY_NONE), 0);
  ASSERT_EQ(BuildDyn(t, "-T:COUNT"), 0);
  EXPECT_EQ(Walk(t), Expected(All, ByCountDown));
  EXPECT_EQ(Close(t), 0);
}

TEST_F(DynamicBuildTest, EmptyLeavesTheBuiltIndexWithoutEntries) {
  TestFile t;
  CreateWithRows(t);
  ASSERT_EQ(BuildDyn(t, "T:TITLE"), 0);
  ASSERT_EQ(Call(op::EMPTY, t), 0);
  EXPECT_EQ(Walk(t), std::vector<std::string>{});
  EXPECT_EQ(Records(t), 0);
  for (const Row& row : kRows) {
    SetRow(t, row);
    ASSERT_EQ(Call(op::ADD, t), 0);
  }
  ASSERT_EQ(BuildDyn(t, "T:TITLE"), 0);
  EXPECT_EQ(Walk(t), Expected(All, ByTitle));
  ASSERT_EQ(Close(t), 0);
  EXPECT_EQ(Integrity("demo.vnt"), std::vector<std::string>{});
}

TEST_F(DynamicBuildTest, CorruptionDuringABuildLeavesTheIndexUnbuiltAndCloseFreesIt) {
  TestFile t;
  CreateWithRows(t);
  ASSERT_EQ(BuildDyn(t, "T:TITLE"), 0);
  {
    // Damage met by a build right after the index got its new store.
    ScopedHandlerOverride damaged(op::BUILDdyn, [](OperationContext& context) {
      RenewDynamicStore(context.state, *context.key);
      ReportCorruption(5);
      return 0;
    });
    EXPECT_EQ(BuildDyn(t, "-T:COUNT"), ERR_FILE_SYSTEM);
  }
  EXPECT_EQ(t.keys[kDynamicKey].descriptor->state_flags & FS_KEY_BUILT, 0u);
  EXPECT_EQ(KeyCall(op::SETkey, t, kDynamicKey), ERR_FILE_SYSTEM);
  // The close releases the file and the index's store (the sanitizer build
  // would report a store or cursor left behind).
  EXPECT_EQ(Close(t), 0);
  EXPECT_EQ(t.file.state, nullptr);
  EXPECT_EQ(Integrity("demo.vnt"), std::vector<std::string>{});
}

TEST_F(DynamicBuildTest, BuildKeyOfAClosedFileFollowsTheDescriptorsReadFromTheFile) {
  {
    TestFile writer;
    CreateWithRows(writer, op::APPEND);  // T:TITLEKEY is left behind
    ASSERT_EQ(Close(writer), 0);
  }
  // Without a record buffer the open takes the descriptors from the file,
  // replacing the ones the key argument named.
  TestFile t;
  t.file.record_buffer = nullptr;
  ASSERT_EQ(KeyCall(op::BUILDkey, t, kTitleKey), 0);
  ASSERT_NE(t.file.state, nullptr);
  EXPECT_EQ(t.keys[kTitleKey].descriptor, &t.file.state->keys[kTitleKey]);

  TestFile reader;
  ASSERT_EQ(Open(reader), 0);
  EXPECT_EQ(Records(reader, kTitleKey), int32_t(kRows.size()));
  EXPECT_EQ(Walk(reader, kTitleKey), Expected(All, ByTitle));
  ASSERT_EQ(Close(reader), 0);
  EXPECT_EQ(Integrity("demo.vnt"), std::vector<std::string>{});
}

}  // namespace
}  // namespace vantrose
