#include "engine/front/operation_rules.h"

#include <gtest/gtest.h>

#include "engine/front/open_file_state.h"
#include "engine/front/operations.h"
#include "runtime/error_state.h"

namespace vantrose {
namespace {

enum KeyArg { NO_KEY, PLAIN_KEY, DYNAMIC_UNBUILT, DYNAMIC_BUILT };

// A key argument of the given kind (null for NO_KEY).
KeyDescriptor* MakeKey(KeyArg kind, KeyDescriptor& storage) {
  if (kind == NO_KEY) return nullptr;
  storage.flags = kind == PLAIN_KEY ? uint8_t{KEY_DUP} : uint8_t{KEY_INDEX | KEY_DYNAMIC};
  storage.state_flags = kind == DYNAMIC_BUILT ? uint32_t{FS_KEY_BUILT} : 0u;
  return &storage;
}

constexpr uint32_t OPEN = FS_OPEN, CUR = FS_RECORD_CURRENT, LOG = FS_LOGGED_OUT,
                   STR = FS_STREAMING, LCK = FS_LOCKED, POS = FS_POSITIONED,
                   WR = FS_WRITE_ACCESS, EXCL = FS_EXCLUSIVE, BUILDING = FS_IN_BUILD_EVENT;

struct CheckCase {
  const char* what;
  int32_t operation;
  uint32_t flags;
  KeyArg key;
  const char* position;
  int32_t expected;
};

TEST(OperationRuleCheck, OutcomesInPriorityOrder) {
  const CheckCase cases[] = {
      // Required flags missing: OPEN, then KEY, then the closed-file pass,
      // then CUR/POS, EXCL, WR, and the silent refusal last.
      {"NEXT on a closed file", op::NEXT, 0, NO_KEY, "", ERR_FILE_NOT_OPEN},
      {"NEXT before any SET", op::NEXT, OPEN, NO_KEY, "", ERR_RECORD_NOT_AVAILABLE},
      {"PUT without a current record", op::PUT, OPEN | WR, NO_KEY, "", ERR_RECORD_NOT_AVAILABLE},
      {"PUT on a read-only file", op::PUT, OPEN | CUR, NO_KEY, "", ERR_ACCESS_DENIED},
      {"DELETE: no record before no access", op::DELETE, OPEN, NO_KEY, "", ERR_RECORD_NOT_AVAILABLE},
      {"BUILDfile opened deny none", op::BUILDfile, OPEN | WR, NO_KEY, "", ERR_EXCLUSIVE_REQUIRED},
      {"EMPTY: exclusivity before access", op::EMPTY, OPEN, NO_KEY, "", ERR_EXCLUSIVE_REQUIRED},
      {"BUILDfile on a closed file runs", op::BUILDfile, 0, NO_KEY, "", 0},
      {"PACK on a closed file runs", op::PACK, 0, NO_KEY, "", 0},
      {"BUILDkey on a closed file runs", op::BUILDkey, 0, PLAIN_KEY, "", 0},
      {"COMMIT without LOGOUT", op::COMMIT, OPEN, NO_KEY, "", -1},
      {"UNLOCK of an unlocked file", op::UNLOCK, OPEN, NO_KEY, "", -1},
      {"unbuilt dynamic index", op::GETfilekey, OPEN, DYNAMIC_UNBUILT, "", ERR_KEY_MUST_BE_REBUILT},
      {"unbuilt dynamic index, file closed", op::SETkey, 0, DYNAMIC_UNBUILT, "", ERR_FILE_NOT_OPEN},
      {"built dynamic index", op::GETfilekey, OPEN, DYNAMIC_BUILT, "", 0},
      {"ordinary key", op::GETfilekey, OPEN, PLAIN_KEY, "", 0},
      // Forbidden flags present: OPEN, then LOG, then the silent refusal.
      {"COPY of an open file", op::COPY, OPEN, NO_KEY, "", ERR_FILE_ALREADY_OPEN},
      {"CREATE of an open file", op::CREATE, OPEN | LOG, NO_KEY, "", ERR_FILE_ALREADY_OPEN},
      {"CLOSE under LOGOUT", op::CLOSE, OPEN | LOG, NO_KEY, "", ERR_LOGOUT_ACTIVE},
      {"BUILDfile under LOGOUT", op::BUILDfile, OPEN | WR | EXCL | LOG, NO_KEY, "", ERR_LOGOUT_ACTIVE},
      {"second STREAM", op::STREAM, OPEN | STR, NO_KEY, "", -1},
      {"second LOCK", op::LOCKfile, OPEN | LCK, NO_KEY, "", -1},
      // An event-driven BUILD in progress.
      {"NEXT while building", op::NEXT, OPEN | POS | BUILDING, NO_KEY, "", ERR_BUILD_IN_PROGRESS},
      {"NAME while building", op::NAME, OPEN | BUILDING, NO_KEY, "", 0},
      {"CLOSE while building", op::CLOSE, OPEN | BUILDING, NO_KEY, "", 0},
      {"BUILDevent while building", op::BUILDevent, OPEN | WR | EXCL | BUILDING, NO_KEY, "", 0},
      {"missing flags before building", op::NEXT, OPEN | BUILDING, NO_KEY, "", ERR_RECORD_NOT_AVAILABLE},
      // Position strings of RESET and REGET.
      {"RESETfile, blank position", op::RESETfile, OPEN, NO_KEY, "    ", ERR_RECORD_NOT_FOUND},
      {"REGETkey, empty position", op::REGETkey, OPEN, PLAIN_KEY, "", ERR_RECORD_NOT_FOUND},
      {"RESETfile with a position", op::RESETfile, OPEN, NO_KEY, " 12", 0},
      {"SETfile ignores the position", op::SETfile, OPEN, NO_KEY, "", 0},
      {"NAME on a closed file", op::NAME, 0, NO_KEY, "", 0},
  };
  for (const CheckCase& c : cases) {
    OpenFileState state;
    state.flags = c.flags;
    state.after_actions = AFTER_DISCARD_STATE;
    KeyDescriptor key_storage;
    EXPECT_EQ(CheckRule(c.operation, state, MakeKey(c.key, key_storage), c.position), c.expected)
        << c.what;
    EXPECT_EQ(state.after_actions, 0u) << c.what;
  }
}

struct TransitionCase {
  const char* what;
  int32_t operation;
  int32_t outcome;
  uint32_t flags_before;
  KeyArg key;
  uint32_t flags_after;
  uint32_t after_actions;
  bool key_built_after;
};

TEST(OperationRuleTransition, FlagsAndAfterActions) {
  constexpr uint32_t CLR = AFTER_CLEAR_ERROR, DIS = AFTER_DISCARD_STATE, REM = AFTER_REMEMBER_OP;
  const TransitionCase cases[] = {
      {"NEXT reads a record", op::NEXT, 0, OPEN | POS, NO_KEY, OPEN | POS | CUR, CLR | REM, false},
      {"NEXT at the end", op::NEXT, 33, OPEN | POS | CUR, NO_KEY, OPEN, 0, false},
      {"silent refusal counts as failure", op::NEXT, -1, OPEN | POS | CUR, NO_KEY, OPEN, 0, false},
      {"SKIP leaves no current record", op::SKIP, 0, OPEN | POS | CUR, NO_KEY, OPEN | POS, CLR | REM, false},
      {"STREAM", op::STREAM, 0, OPEN, NO_KEY, OPEN | STR, CLR, false},
      {"FLUSH ends STREAM", op::FLUSH, 0, OPEN | STR, NO_KEY, OPEN, CLR, false},
      {"LOCK", op::LOCKfile, 0, OPEN | WR, NO_KEY, OPEN | WR | LCK | EXCL, CLR, false},
      {"UNLOCK keeps EXCL", op::UNLOCK, 0, OPEN | LCK | EXCL, NO_KEY, OPEN | EXCL, CLR, false},
      {"OPEN", op::OPEN, 0, 0, NO_KEY, OPEN, CLR, false},
      {"CLOSE", op::CLOSE, 0, OPEN | STR, NO_KEY, STR, CLR | DIS, false},
      {"failed CLOSE", op::CLOSE, 56, OPEN | LOG, NO_KEY, OPEN | LOG, DIS, false},
      {"CREATE fails", op::CREATE, 2, 0, NO_KEY, 0, DIS, false},
      {"CREATE refused: file open", op::CREATE, 52, OPEN, NO_KEY, OPEN, 0, false},
      {"any 37 discards", op::NEXT, 37, 0, NO_KEY, 0, DIS, false},
      {"SEND marks options", op::SEND, 0, 0, NO_KEY, FS_OPTIONS_SET, CLR, false},
      {"BUILDfile fails", op::BUILDfile, 63, OPEN | CUR | POS, NO_KEY, OPEN, 0, false},
      {"BUILDdyn builds the index", op::BUILDdyn, 0, OPEN, DYNAMIC_UNBUILT, OPEN, CLR, true},
      {"KEY only acts on a dynamic index", op::BUILDdyn, 0, OPEN, PLAIN_KEY, OPEN, CLR, false},
      {"failed GET keeps the index", op::GETfilekey, 35, OPEN | CUR, DYNAMIC_BUILT, OPEN, 0, true},
      {"INVIEW without key", op::INVIEW, 0, OPEN, NO_KEY, OPEN, CLR, false},
  };
  for (const TransitionCase& c : cases) {
    OpenFileState state;
    state.flags = c.flags_before;
    KeyDescriptor key_storage;
    KeyDescriptor* key = MakeKey(c.key, key_storage);
    ApplyTransition(c.operation, c.outcome, state, key);
    EXPECT_EQ(state.flags, c.flags_after) << c.what;
    EXPECT_EQ(state.after_actions, c.after_actions) << c.what;
    if (key != nullptr) {
      EXPECT_EQ((key->state_flags & FS_KEY_BUILT) != 0, c.key_built_after) << c.what;
    }
  }
}

}  // namespace
}  // namespace vantrose
