#include "engine/front/operation_rules.h"

#include <array>

#include "engine/front/open_file_state.h"
#include "engine/front/operations.h"
#include "runtime/error_state.h"

namespace vantrose {
namespace {

// Abbreviations of the flags for the table below.
constexpr uint32_t OPEN = FS_OPEN, CUR = FS_RECORD_CURRENT, LOG = FS_LOGGED_OUT,
                   STR = FS_STREAMING, LCK = FS_LOCKED, POS = FS_POSITIONED,
                   WR = FS_WRITE_ACCESS, EXCL = FS_EXCLUSIVE, KEY = FS_KEY_BUILT,
                   OPTS = FS_OPTIONS_SET;
constexpr uint32_t CLR = AFTER_CLEAR_ERROR, DIS = AFTER_DISCARD_STATE, REM = AFTER_REMEMBER_OP;

// One row per operation code, in code order:
// {after, required, forbidden, set on success, cleared on success, cleared on failure}.
constexpr std::array<OperationRule, op::kCount> kRules = {{
    {0, 0, 0, 0, 0, 0},                              //  0 (0)
    {CLR, OPEN | WR, 0, CUR, 0, 0},                  //  1 ADD
    {0, OPEN | POS, 0, 0, 0, 0},                     //  2 BOF
    {CLR, WR | EXCL, LOG, 0, 0, CUR | POS},          //  3 BUILDfile
    {CLR, OPEN | WR, 0, 0, 0, 0},                    //  4 APPEND
    {CLR, OPEN, LOG, KEY, 0, 0},                     //  5 BUILDdyn
    {CLR, WR | EXCL, LOG, 0, 0, 0},                  //  6 BUILDkey
    {CLR | DIS, OPEN, LOG, 0, OPEN | KEY, 0},        //  7 CLOSE
    {CLR, OPEN | LOG, 0, 0, LOG, 0},                 //  8 COMMIT
    {CLR | DIS, 0, OPEN, 0, 0, 0},                   //  9 COPY
    {CLR | DIS, 0, OPEN, 0, 0, 0},                   // 10 CREATE
    {CLR, OPEN | CUR | WR, 0, 0, CUR, 0},            // 11 DELETE
    {CLR, OPEN | WR, 0, 0, 0, 0},                    // 12 DUPLICATE
    {CLR, OPEN | WR | EXCL, LOG, 0, 0, 0},           // 13 EMPTY
    {0, OPEN | POS, 0, 0, 0, 0},                     // 14 EOF
    {CLR, OPEN | KEY, 0, CUR, 0, CUR},               // 15 GETfilekey
    {CLR, OPEN, 0, CUR, 0, CUR},                     // 16 GETfileptr
    {CLR, OPEN | KEY, 0, CUR, 0, CUR},               // 17 GETkeyptr
    {CLR, OPEN, 0, 0, 0, 0},                         // 18 HOLDfile
    {CLR, OPEN, 0, 0, 0, 0},                         // 19 HOLDfilesec
    {CLR, OPEN, LCK, LCK | EXCL, 0, 0},              // 20 LOCKfile
    {CLR, OPEN, LCK, LCK | EXCL, 0, 0},              // 21 LOCKfilesec
    {CLR, OPEN, LOG, LOG, 0, 0},                     // 22 LOGOUT
    {0, 0, 0, 0, 0, 0},                              // 23 NAME
    {CLR | REM, OPEN | POS, 0, CUR, 0, CUR | POS},   // 24 NEXT
    {CLR, 0, OPEN, OPEN, 0, 0},                      // 25 OPEN
    {CLR, WR | EXCL, LOG, 0, CUR | POS, CUR | POS},  // 26 PACK
    {0, OPEN | CUR, 0, 0, 0, 0},                     // 27 POINTERfile
    {0, OPEN | CUR | KEY, 0, 0, 0, 0},               // 28 POINTERkey
    {CLR, OPEN, 0, 0, STR, 0},                       // 29 FLUSH
    {CLR, OPEN | CUR | WR, 0, 0, 0, 0},              // 30 PUT
    {CLR | REM, OPEN | POS, 0, CUR, 0, CUR | POS},   // 31 PREVIOUS
    {0, OPEN, 0, 0, 0, 0},                           // 32 RECORDSfile
    {0, OPEN | KEY, 0, 0, 0, 0},                     // 33 RECORDSkey
    {CLR, OPEN, LOG, KEY, 0, 0},                     // 34 BUILDdynfilter
    {0, 0, 0, 0, 0, 0},                              // 35 (35)
    {CLR, OPEN, 0, 0, 0, 0},                         // 36 RELEASE
    {CLR | DIS, 0, OPEN, 0, 0, 0},                   // 37 REMOVE
    {CLR | DIS, 0, OPEN, 0, 0, 0},                   // 38 RENAME
    {0, 0, 0, 0, 0, 0},                              // 39 (39)
    {CLR, OPEN | LOG, 0, 0, LOG, 0},                 // 40 ROLLBACK
    {CLR | REM, OPEN, 0, POS, 0, POS},               // 41 SETfile
    {CLR | REM, OPEN | KEY, 0, POS, 0, POS},         // 42 SETfilekey
    {CLR | REM, OPEN, 0, POS, 0, POS},               // 43 SETfileptr
    {CLR | REM, OPEN | KEY, 0, POS, 0, POS},         // 44 SETkey
    {CLR | REM, OPEN | KEY, 0, POS, 0, POS},         // 45 SETkeykey
    {CLR | REM, OPEN | KEY, 0, POS, 0, POS},         // 46 SETkeyptr
    {CLR | REM, OPEN | KEY, 0, POS, 0, POS},         // 47 SETkeykeyptr
    {CLR, 0, OPEN, OPEN, 0, 0},                      // 48 SHARE
    {CLR | REM, OPEN | POS, 0, 0, CUR, CUR | POS},   // 49 SKIP
    {CLR, OPEN | LCK, LOG, 0, LCK, 0},               // 50 UNLOCK
    {CLR, OPEN, 0, 0, 0, 0},                         // 51 ADDfilelen
    {CLR, OPEN, 0, 0, 0, 0},                         // 52 BYTES
    {CLR, OPEN, 0, CUR, 0, CUR},                     // 53 GETfileptrlen
    {CLR, OPEN | WR, 0, 0, 0, CUR},                  // 54 PUTfileptr
    {CLR, OPEN | WR, 0, 0, 0, CUR},                  // 55 PUTfileptrlen
    {CLR, OPEN, STR, STR, 0, 0},                     // 56 STREAM
    {CLR, OPEN | KEY, 0, 0, 0, 0},                   // 57 DUPLICATEkey
    {CLR, OPEN, 0, 0, 0, 0},                         // 58 WATCH
    {CLR, OPEN | WR, 0, 0, 0, 0},                    // 59 APPENDlen
    {CLR, 0, 0, OPTS, 0, 0},                         // 60 SEND
    {CLR, OPEN | CUR, 0, 0, 0, 0},                   // 61 POSITIONfile
    {CLR, OPEN | CUR | KEY, 0, 0, 0, 0},             // 62 POSITIONkey
    {CLR | REM, OPEN, 0, POS, 0, POS},               // 63 RESETfile
    {CLR | REM, OPEN | KEY, 0, POS, 0, POS},         // 64 RESETkey
    {0, OPEN, 0, 0, 0, 0},                           // 65 NOMEMO
    {CLR, OPEN, 0, CUR, 0, 0},                       // 66 REGETfile
    {CLR, OPEN | KEY, 0, CUR, 0, 0},                 // 67 REGETkey
    {CLR, OPEN, 0, 0, 0, 0},                         // 68 NULL
    {CLR, OPEN, 0, 0, 0, 0},                         // 69 SETNULL
    {CLR, OPEN, 0, 0, 0, 0},                         // 70 SETNONULL
    {CLR, 0, 0, OPTS, 0, 0},                         // 71 SET_PROPERTY
    {CLR, 0, 0, 0, 0, 0},                            // 72 GET_PROPERTY
    {0, OPEN | KEY, 0, 0, 0, 0},                     // 73 QUERY_KEY
    {0, 0, 0, 0, 0, 0},                              // 74 QUERY_VIEW
    {CLR, OPEN, 0, 0, 0, 0},                         // 75 BLOB_YIELD
    {CLR, OPEN, 0, 0, 0, 0},                         // 76 BLOB_TAKE
    {0, OPEN | CUR, 0, 0, 0, 0},                     // 77 BLOB_SIZE
    {CLR, OPEN, 0, OPTS, 0, 0},                      // 78 BLOB_GET_PROP
    {CLR, OPEN, 0, 0, 0, 0},                         // 79 BLOB_SET_PROP
    {CLR, OPEN, 0, 0, 0, 0},                         // 80 BUFFER
    {CLR | REM, OPEN, 0, POS, 0, POS},               // 81 SETview
    {0, OPEN, 0, 0, 0, 0},                           // 82 CLEAR
    {CLR | REM, OPEN, 0, POS, 0, POS},               // 83 RESETviewfile
    {CLR, WR | EXCL, LOG, 0, 0, CUR | POS},          // 84 BUILDevent
    {CLR, 0, 0, OPTS, 0, 0},                         // 85 SETPROPERTYkey
    {CLR, 0, 0, 0, 0, 0},                            // 86 GETPROPERTYkey
    {0, 0, 0, 0, 0, 0},                              // 87 Internal
    {CLR, 0, 0, OPTS, 0, 0},                         // 88 DO_PROPERTY
    {CLR, 0, 0, OPTS, 0, 0},                         // 89 DOPROPERTYkey
    {CLR, 0, 0, OPTS, 0, 0},                         // 90 DOPROPERTYblob
    {0, 0, 0, 0, 0, 0},                              // 91 Internal
    {CLR, OPEN, KEY, KEY, 0, 0},                     // 92 INVIEW
    {CLR, OPEN, 0, 0, KEY, 0},                       // 93 ENDVIEW
}};

bool IsDynamicIndex(const KeyDescriptor* key) {
  return key != nullptr && (key->flags & KEY_DYNAMIC) != 0;
}

// Operations that still run while an event-driven BUILD is in progress on
// the file (the event handler may close it, ask its name and read
// properties, and the deferred BUILD itself must run).
bool RunsDuringBuildEvent(int32_t operation) {
  switch (operation) {
    case op::CLOSE: case op::NAME: case op::GET_PROPERTY: case op::BUILDevent:
    case op::GETPROPERTYkey:
      return true;
    default:
      return false;
  }
}

bool TakesPositionString(int32_t operation) {
  switch (operation) {
    case op::RESETfile: case op::RESETkey: case op::REGETfile: case op::REGETkey:
      return true;
    default:
      return false;
  }
}

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace

const OperationRule* RuleFor(int32_t operation) {
  if (operation < 0 || operation >= op::kCount) return nullptr;
  return &kRules[static_cast<size_t>(operation)];
}

int32_t CheckRule(int32_t operation, OpenFileState& state, const KeyDescriptor* key,
                  std::string_view position) {
  const OperationRule& rule = *RuleFor(operation);
  state.after_actions = 0;

  uint32_t missing = rule.required & ~state.flags & ~KEY;
  if (missing == 0 && (rule.required & KEY) != 0 && IsDynamicIndex(key) &&
      (key->state_flags & FS_KEY_BUILT) == 0) {
    missing = KEY;
  }
  if (missing == 0 && (state.flags & FS_IN_BUILD_EVENT) != 0 && !RunsDuringBuildEvent(operation)) {
    return ERR_BUILD_IN_PROGRESS;
  }
  if (missing != 0) {
    if (missing & OPEN) return ERR_FILE_NOT_OPEN;
    if (missing & KEY) return ERR_KEY_MUST_BE_REBUILT;
    // BUILDfile, BUILDkey and PACK open a closed file for themselves.
    if ((state.flags & FS_OPEN) == 0) return 0;
    if (missing & (CUR | POS)) return ERR_RECORD_NOT_AVAILABLE;
    if (missing & EXCL) return ERR_EXCLUSIVE_REQUIRED;
    if (missing & WR) return ERR_ACCESS_DENIED;
    return -1;
  }

  // KEY is not a file flag, so a forbidden KEY never matches here.
  const uint32_t present = rule.forbidden & state.flags & ~KEY;
  if (present & OPEN) return ERR_FILE_ALREADY_OPEN;
  if (present & LOG) return ERR_LOGOUT_ACTIVE;
  if (present != 0) return -1;

  if (TakesPositionString(operation) && IsBlank(position)) return ERR_RECORD_NOT_FOUND;
  return 0;
}

void ApplyTransition(int32_t operation, int32_t outcome, OpenFileState& state,
                     KeyDescriptor* key) {
  const OperationRule& rule = *RuleFor(operation);
  if (outcome != 0) {
    if (outcome == ERR_FILE_NOT_OPEN ||
        ((rule.after & AFTER_DISCARD_STATE) != 0 && outcome != ERR_FILE_ALREADY_OPEN)) {
      state.after_actions |= AFTER_DISCARD_STATE;
    }
    state.flags &= ~(rule.cleared_on_failure & ~KEY);
    if (IsDynamicIndex(key)) key->state_flags &= ~(rule.cleared_on_failure & KEY);
    return;
  }
  state.flags |= rule.set_on_success & ~KEY;
  state.flags &= ~(rule.cleared_on_success & ~KEY);
  if (IsDynamicIndex(key)) {
    key->state_flags |= rule.set_on_success & KEY;
    key->state_flags &= ~(rule.cleared_on_success & KEY);
  }
  state.after_actions |= rule.after;
}

}  // namespace vantrose
