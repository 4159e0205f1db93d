#include "engine/front/engine_entry.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/front/dispatch.h"
#include "engine/front/open_file_state.h"
#include "engine/storage/corruption.h"
#include "runtime/error_state.h"
#include "runtime/open_files.h"
#include "runtime/string_stack.h"
#include "tests/front/declared_test_file.h"

namespace vantrose {
namespace {

class EngineEntryTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    ClearError();
    while (StringStackDepth() > 0) PopString();
  }

  static int32_t Call(int32_t operation, TestFile& t, EngineArgs args = {}) {
    return EngineEntry(operation, t.file, args);
  }
  // Gives the file a state (through NAME) with the given flags, as an OPEN
  // would have left it.
  static OpenFileState& WithState(TestFile& t, uint32_t flags) {
    Call(op::NAME, t);
    PopString();
    EXPECT_NE(t.file.state, nullptr);
    t.file.state->flags = flags;
    ClearError();
    return *t.file.state;
  }
  static std::string FileErrorCode() {
    const std::string& text = Errors().file_error_code;
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }
};

TEST_F(EngineEntryTest, QueryViewDoesNothing) {
  TestFile t;
  PostError(ERR_RECORD_NOT_FOUND);
  EXPECT_EQ(Call(op::QUERY_VIEW, t), 0);
  EXPECT_EQ(t.file.state, nullptr);
  EXPECT_FALSE(IsDeclaredFileRegistered(&t.file));
  EXPECT_EQ(Errors().code, ERR_RECORD_NOT_FOUND);
}

TEST_F(EngineEntryTest, CodesWithoutRuleAnswer80BeforeAnything) {
  TestFile t;
  for (const int32_t code : {-1, 94, 1000}) {
    ClearError();
    EXPECT_EQ(Call(code, t), 0) << code;
    EXPECT_EQ(Errors().code, ERR_UNSUPPORTED_FUNCTION) << code;
    EXPECT_EQ(Errors().file, &t.file) << code;
    EXPECT_EQ(t.file.state, nullptr) << code;
  }
}

TEST_F(EngineEntryTest, UndispatchedCodeOnOpenFileAnswers80) {
  TestFile t;
  OpenFileState& state = WithState(t, FS_OPEN | FS_WRITE_ACCESS);
  EXPECT_EQ(Call(op::ADDfilelen, t), 0);
  EXPECT_EQ(Errors().code, ERR_UNSUPPORTED_FUNCTION);
  EXPECT_EQ(t.file.state, &state);
  EXPECT_EQ(state.last_error, ERR_UNSUPPORTED_FUNCTION);
}

TEST_F(EngineEntryTest, StateCreationCopiesTheDeclaration) {
  struct NameCase {
    const char* what;
    std::string bytes;
    int32_t length_kind;
    const char* expected;
  };
  const NameCase cases[] = {
      {"fixed length", "  demo.vnt    xx", 14, "demo.vnt"},
      {"zero terminated", "demo.vnt  ", TEXT_ZERO_TERMINATED, "demo.vnt"},
      {"length prefixed", std::string("\x09 demo.vntxx"), TEXT_LENGTH_PREFIXED, "demo.vnt"},
      {"all blanks", "      ", 6, ""},
  };
  for (const NameCase& c : cases) {
    TestFile t;
    t.name_text = c.bytes;
    t.file.name = DeclaredText{t.name_text.c_str(), c.length_kind};
    const std::string owner = "secret  ";
    t.file.owner = DeclaredText{owner.c_str(), 8};
    t.file.attributes = DECL_CREATE | DECL_OEM;
    Call(op::NAME, t);
    EXPECT_EQ(StringStackDepth(), 1u) << c.what;  // NAME always answers a string
    PopString();
    ASSERT_NE(t.file.state, nullptr) << c.what;
    const OpenFileState& state = *t.file.state;
    EXPECT_EQ(state.name, c.expected) << c.what;
    EXPECT_EQ(state.owner, "secret") << c.what;
    EXPECT_EQ(state.attributes, ATTR_CREATE | ATTR_OEM) << c.what;
    EXPECT_EQ(state.declared, &t.file) << c.what;
    EXPECT_EQ(state.driver_name, "VANTROSE") << c.what;
    EXPECT_TRUE(IsDeclaredFileRegistered(&t.file)) << c.what;
    EXPECT_EQ(t.keys[1].descriptor, &state.keys[1]) << c.what;

    DiscardOpenFileState(t.file);
    EXPECT_FALSE(IsDeclaredFileRegistered(&t.file)) << c.what;
    EXPECT_EQ(t.keys[1].descriptor, nullptr) << c.what;
    EXPECT_EQ(t.memos[0].buffer, nullptr) << c.what;
  }
}

TEST_F(EngineEntryTest, FailedStateCreationLeavesNothing) {
  TestFile t;
  t.file.record_length = 15001;
  EXPECT_EQ(Call(op::OPEN, t), 0);
  EXPECT_EQ(Errors().code, ERR_INVALID_RECORD_DECL);
  EXPECT_EQ(t.file.state, nullptr);
  EXPECT_FALSE(IsDeclaredFileRegistered(&t.file));
  EXPECT_EQ(t.keys[0].descriptor, nullptr);
  EXPECT_EQ(t.memos[0].buffer, nullptr);
}

TEST_F(EngineEntryTest, EntryRefusalsDiscardTheState) {
  struct RefusalCase {
    int32_t operation;
    const char* name;
    uint8_t attributes;
    int32_t expected;
  };
  const RefusalCase cases[] = {
      {op::CREATE, "new.vnt", 0, ERR_NO_CREATE_ATTRIBUTE},
      {op::OPEN, "   ", DECL_CREATE, ERR_INVALID_FILENAME},
      {op::SHARE, "", 0, ERR_INVALID_FILENAME},
  };
  for (const RefusalCase& c : cases) {
    TestFile t;
    t.name_text = c.name;
    t.file.name = DeclaredText{t.name_text.c_str(), static_cast<int32_t>(t.name_text.size())};
    t.file.attributes = c.attributes;
    Call(c.operation, t);
    EXPECT_EQ(Errors().code, c.expected) << c.operation;
    EXPECT_EQ(t.file.state, nullptr) << c.operation;
    EXPECT_FALSE(IsDeclaredFileRegistered(&t.file)) << c.operation;
  }
}

TEST_F(EngineEntryTest, OpenAndShareSetAccessFlags) {
  struct ModeCase {
    int32_t operation;
    int32_t mode;
    uint32_t flags;
  };
  const ModeCase cases[] = {
      {op::OPEN, 0x42, FS_OPEN | FS_WRITE_ACCESS},
      {op::OPEN, 0x40, FS_OPEN},
      {op::SHARE, 0x12, FS_OPEN | FS_WRITE_ACCESS | FS_EXCLUSIVE},
      {op::OPEN, 0x20, FS_OPEN | FS_EXCLUSIVE},
  };
  ScopedHandlerOverride open(op::OPEN, [](OperationContext&) { return 0; });
  ScopedHandlerOverride share(op::SHARE, [](OperationContext&) { return 0; });
  for (const ModeCase& c : cases) {
    TestFile t;
    EngineArgs args;
    args.cells[0] = c.mode;
    Call(c.operation, t, args);
    EXPECT_EQ(Errors().code, 0) << c.mode;
    ASSERT_NE(t.file.state, nullptr) << c.mode;
    EXPECT_EQ(t.file.state->flags, c.flags) << c.mode;
    EXPECT_EQ(t.file.state->access_mode, static_cast<uint32_t>(c.mode)) << c.mode;
    EXPECT_TRUE(IsDeclaredFileRegistered(&t.file));
  }
}

TEST_F(EngineEntryTest, FailedOpenDiscardsAndOpenTwiceKeepsTheOpenState) {
  TestFile t;
  {
    ScopedHandlerOverride open(op::OPEN, [](OperationContext&) -> int32_t { return ERR_FILE_NOT_FOUND; });
    Call(op::OPEN, t);
    EXPECT_EQ(Errors().code, ERR_FILE_NOT_FOUND);
    EXPECT_EQ(t.file.state, nullptr);
  }
  OpenFileState& state = WithState(t, FS_OPEN);
  Call(op::OPEN, t);
  EXPECT_EQ(Errors().code, ERR_FILE_ALREADY_OPEN);
  EXPECT_EQ(t.file.state, &state);
}

TEST_F(EngineEntryTest, ClosedStateIsRebuiltUnlessOptionsWereSet) {
  TestFile t;
  WithState(t, 0).last_sequence_operation = 99;
  t.name_text = "other.vnt";
  t.file.name = DeclaredText{t.name_text.c_str(), TEXT_ZERO_TERMINATED};
  Call(op::NAME, t);
  PopString();
  ASSERT_NE(t.file.state, nullptr);
  EXPECT_EQ(t.file.state->last_sequence_operation, 0u);
  EXPECT_EQ(t.file.state->name, "other.vnt");

  // Options set on a closed file survive until its OPEN; an overridden name
  // is no longer refreshed from the declaration.
  OpenFileState& marked = *t.file.state;
  marked.flags = FS_OPTIONS_SET;
  marked.last_sequence_operation = 99;
  marked.override_marks = OVERRIDE_NAME;
  marked.name = "set.vnt";
  std::string seen;
  t.name_text = "third.vnt";
  t.file.name = DeclaredText{t.name_text.c_str(), TEXT_ZERO_TERMINATED};
  static std::string* seen_name;
  seen_name = &seen;
  ScopedHandlerOverride open(op::OPEN, [](OperationContext& context) {
    *seen_name = static_cast<OpenFileState&>(context.state).name;
    return 0;
  });
  Call(op::OPEN, t);
  EXPECT_EQ(t.file.state, &marked);
  EXPECT_EQ(marked.last_sequence_operation, 99u);
  EXPECT_EQ(seen, "set.vnt");
}

TEST_F(EngineEntryTest, StreamTwiceIsSilent) {
  TestFile t;
  OpenFileState& state = WithState(t, FS_OPEN);
  PostError(ERR_RECORD_NOT_FOUND);
  EXPECT_EQ(Call(op::STREAM, t), 0);
  EXPECT_EQ(Errors().code, 0);  // success clears the error state
  EXPECT_TRUE(state.flags & FS_STREAMING);

  PostError(ERR_RECORD_NOT_FOUND);
  EXPECT_EQ(Call(op::STREAM, t), 0);
  EXPECT_EQ(Errors().code, ERR_RECORD_NOT_FOUND);
  EXPECT_EQ(state.last_error, 0);
}

TEST_F(EngineEntryTest, BofAndEofAnswerOneOnErrors) {
  for (const int32_t operation : {op::BOF, op::EOF_}) {
    TestFile t;
    EXPECT_EQ(Call(operation, t), 1);  // closed: 37, and the state is discarded
    EXPECT_EQ(Errors().code, ERR_FILE_NOT_OPEN);
    EXPECT_EQ(t.file.state, nullptr);

    WithState(t, FS_OPEN | FS_POSITIONED);
    ScopedHandlerOverride answer(operation, [](OperationContext& context) -> int32_t {
      context.result = 0;
      return ERR_RECORD_NOT_AVAILABLE;
    });
    EXPECT_EQ(Call(operation, t), 1);
  }
}

TEST_F(EngineEntryTest, StringArguments) {
  TestFile t;
  WithState(t, FS_OPEN);
  static std::string first, second;
  ScopedHandlerOverride set(op::SET_PROPERTY, [](OperationContext& context) {
    first = context.first_string;
    second = context.second_string;
    return 0;
  });
  PushString("  Property  ");
  PushString("  value ");  // the value is popped first, untrimmed
  Call(op::SET_PROPERTY, t);
  EXPECT_EQ(first, "  value ");
  EXPECT_EQ(second, "Property");
  EXPECT_EQ(StringStackDepth(), 0u);
  EXPECT_TRUE(t.file.state->flags & FS_OPTIONS_SET);

  PushString("   ");
  Call(op::RESETfile, t);
  EXPECT_EQ(Errors().code, ERR_RECORD_NOT_FOUND);
  EXPECT_EQ(StringStackDepth(), 0u);

  // A string-result operation answers a string even when it fails.
  Call(op::POSITIONfile, t);
  EXPECT_EQ(Errors().code, ERR_RECORD_NOT_AVAILABLE);
  EXPECT_EQ(StringStackDepth(), 1u);
}

TEST_F(EngineEntryTest, KeyOfAnotherFileOrNoKey) {
  TestFile a, b;
  WithState(a, FS_OPEN);
  WithState(b, FS_OPEN);
  EngineArgs args;
  args.key = &b.keys[0];
  Call(op::SETkey, a, args);
  EXPECT_EQ(Errors().code, ERR_INVALID_KEY_FILE);
  args.key = nullptr;
  Call(op::SETkey, a, args);
  EXPECT_EQ(Errors().code, ERR_INVALID_KEY_FILE);
  args.key = &a.keys[1];  // a dynamic index not built yet
  Call(op::SETkey, a, args);
  EXPECT_EQ(Errors().code, ERR_KEY_MUST_BE_REBUILT);
}

[[noreturn]] void ReportFromDeep(uint32_t code) { ReportCorruption(code); }

TEST_F(EngineEntryTest, CorruptionFailsTheFileUntilClose) {
  TestFile t;
  OpenFileState& state = WithState(t, FS_OPEN | FS_POSITIONED | FS_LOGGED_OUT);
  static int next_runs;
  next_runs = 0;
  ScopedHandlerOverride next(op::NEXT, [](OperationContext&) -> int32_t {
    ++next_runs;
    ReportFromDeep(1234);
  });
  Call(op::NEXT, t);
  EXPECT_EQ(Errors().code, ERR_FILE_SYSTEM);
  EXPECT_EQ(FileErrorCode(), "1234");
  EXPECT_EQ(state.corruption_code, 1234u);

  ClearError();
  Call(op::NEXT, t);
  EXPECT_EQ(Errors().code, ERR_FILE_SYSTEM);
  EXPECT_EQ(FileErrorCode(), "1234");
  EXPECT_EQ(next_runs, 1);

  ClearError();
  Call(op::NAME, t);
  EXPECT_NE(Errors().code, ERR_FILE_SYSTEM);

  // CLOSE is accepted even under LOGOUT, and ends the state.
  ScopedHandlerOverride close(op::CLOSE, [](OperationContext&) { return 0; });
  ClearError();
  Call(op::CLOSE, t);
  EXPECT_EQ(Errors().code, 0);
  EXPECT_EQ(t.file.state, nullptr);
  EXPECT_FALSE(IsDeclaredFileRegistered(&t.file));
}

TEST_F(EngineEntryTest, ReportBetweenCallsIsFatal) {
  TestFile t;
  WithState(t, FS_OPEN);
  Call(op::STREAM, t);
  EXPECT_FALSE(EngineOperationInProgress());
  EXPECT_EXIT(ReportCorruption(5), ::testing::ExitedWithCode(3), "Fatal error");
}

TEST_F(EngineEntryTest, RefusedCloseKeepsTheOpenState) {
  TestFile t;
  OpenFileState& state = WithState(t, FS_OPEN | FS_LOGGED_OUT);
  Call(op::CLOSE, t);
  EXPECT_EQ(Errors().code, ERR_LOGOUT_ACTIVE);
  EXPECT_EQ(t.file.state, &state);
  EXPECT_TRUE(state.flags & FS_OPEN);
  EXPECT_TRUE(IsDeclaredFileRegistered(&t.file));
}

// Calls made from inside a running operation, as an event handler makes
// them during an event-driven BUILD.
TEST_F(EngineEntryTest, NestedCalls) {
  TestFile building, other;
  OpenFileState& state = WithState(building, FS_OPEN | FS_POSITIONED | FS_WRITE_ACCESS | FS_EXCLUSIVE | FS_IN_BUILD_EVENT);
  WithState(other, FS_OPEN | FS_POSITIONED);
  static TestFile* building_file;
  static TestFile* other_file;
  static int32_t inner_next, inner_other;
  static size_t names_answered;
  building_file = &building;
  other_file = &other;
  ScopedHandlerOverride next(op::NEXT, [](OperationContext&) -> int32_t { ReportCorruption(77); });
  ScopedHandlerOverride event(op::BUILDevent, [](OperationContext&) {
    EngineEntry(op::NEXT, building_file->file, EngineArgs{});
    inner_next = Errors().code;
    EngineEntry(op::NAME, building_file->file, EngineArgs{});
    names_answered = StringStackDepth();
    EngineEntry(op::NEXT, other_file->file, EngineArgs{});
    inner_other = Errors().code;
    return 0;
  });
  PostError(ERR_RECORD_NOT_FOUND);
  Call(op::BUILDevent, building);
  EXPECT_EQ(inner_next, ERR_BUILD_IN_PROGRESS);
  EXPECT_EQ(names_answered, 1u);
  EXPECT_EQ(inner_other, ERR_FILE_SYSTEM);
  EXPECT_EQ(other.file.state->corruption_code, 77u);
  // The outer operation finished normally.
  EXPECT_EQ(building.file.state, &state);
  EXPECT_EQ(state.corruption_code, 0u);
  EXPECT_EQ(state.entry_depth, 0u);
  EXPECT_EQ(Errors().code, 0);
}

// A closed state in use by a running BUILD (which opens the file for
// itself) is neither rebuilt nor discarded by calls nested inside it.
TEST_F(EngineEntryTest, NestedCallsKeepAStateInUse) {
  TestFile t;
  static TestFile* file;
  static int32_t inner_next;
  static TableState* building_state;
  file = &t;
  ScopedHandlerOverride build(op::BUILDfile, [](OperationContext& context) {
    building_state = &context.state;
    EngineEntry(op::NAME, file->file, EngineArgs{});  // would rebuild a stale state
    PopString();
    EngineEntry(op::NEXT, file->file, EngineArgs{});  // 37 would discard it
    inner_next = Errors().code;
    EXPECT_EQ(file->file.state, &context.state);
    return 0;
  });
  Call(op::BUILDfile, t);
  EXPECT_EQ(inner_next, ERR_FILE_NOT_OPEN);
  EXPECT_EQ(Errors().code, 0);
  EXPECT_EQ(t.file.state, building_state);
}

TEST_F(EngineEntryTest, QueryKeyAndView) {
  TestFile t;
  OpenFileState& state = WithState(t, FS_OPEN);
  EXPECT_EQ(Call(op::QUERY_KEY, t), 0);
  state.current_key = &state.keys[1];
  EXPECT_EQ(Call(op::QUERY_KEY, t), 2);

  Call(op::INVIEW, t);
  EXPECT_EQ(state.in_view, 1);
  state.in_view = 0;
  state.flags |= FS_STREAMING;
  Call(op::INVIEW, t);
  EXPECT_EQ(state.in_view, 0);
}

}  // namespace
}  // namespace vantrose
