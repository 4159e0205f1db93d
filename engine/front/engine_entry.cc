#include "engine/front/engine_entry.h"

#include <new>
#include <string>

#include "engine/front/dispatch.h"
#include "engine/front/open_file_state.h"
#include "engine/front/operation_rules.h"
#include "engine/storage/corruption.h"
#include "engine/table/end_operation.h"
#include "runtime/error_state.h"
#include "runtime/open_files.h"
#include "runtime/string_stack.h"

namespace vantrose {
namespace {

// Operations before which a closed state that no SEND or property operation
// has marked is rebuilt, so that they see the current declaration.
bool RebuildsStaleState(int32_t operation) {
  switch (operation) {
    case op::BUILDfile: case op::BUILDkey: case op::CLOSE: case op::COPY: case op::CREATE:
    case op::NAME: case op::OPEN: case op::REMOVE: case op::RENAME: case op::SHARE:
    case op::SEND: case op::SET_PROPERTY: case op::BLOB_GET_PROP: case op::SETPROPERTYkey:
    case op::DO_PROPERTY: case op::DOPROPERTYkey: case op::DOPROPERTYblob:
      return true;
    default:
      return false;
  }
}

// Number of string arguments an operation takes from the string stack.
int StringArgumentCount(int32_t operation) {
  switch (operation) {
    case op::BUILDdynfilter: case op::SET_PROPERTY: case op::BLOB_GET_PROP:
    case op::SETPROPERTYkey:
      return 2;
    case op::BUILDdyn: case op::COPY: case op::RENAME: case op::SEND: case op::RESETfile:
    case op::RESETkey: case op::REGETfile: case op::REGETkey: case op::GET_PROPERTY:
    case op::BLOB_SET_PROP: case op::GETPROPERTYkey: case op::DO_PROPERTY:
    case op::DOPROPERTYkey: case op::DOPROPERTYblob:
      return 1;
    default:
      return 0;
  }
}

// Operations whose first string is a property value, taken with its full
// length and its blanks.
bool TakesUntrimmedValue(int32_t operation) {
  return operation == op::SET_PROPERTY || operation == op::BLOB_GET_PROP ||
         operation == op::SETPROPERTYkey;
}

bool TakesKey(int32_t operation) {
  switch (operation) {
    case op::BUILDdyn: case op::BUILDkey: case op::GETfilekey: case op::GETkeyptr:
    case op::POINTERkey: case op::RECORDSkey: case op::BUILDdynfilter: case op::SETfilekey:
    case op::SETkey: case op::SETkeykey: case op::SETkeyptr: case op::SETkeykeyptr:
    case op::DUPLICATEkey: case op::POSITIONkey: case op::RESETkey: case op::REGETkey:
    case op::SETPROPERTYkey: case op::GETPROPERTYkey: case op::DOPROPERTYkey:
      return true;
    default:
      return false;
  }
}

bool ReturnsString(int32_t operation) {
  switch (operation) {
    case op::NAME: case op::SEND: case op::POSITIONfile: case op::POSITIONkey:
    case op::GET_PROPERTY: case op::BLOB_SET_PROP: case op::GETPROPERTYkey:
      return true;
    default:
      return false;
  }
}

struct StringArguments {
  std::string first;
  std::string second;
};

StringArguments PopStringArguments(int32_t operation) {
  StringArguments strings;
  const int count = StringArgumentCount(operation);
  if (count >= 1) {
    strings.first = PopString();
    if (!TakesUntrimmedValue(operation)) strings.first = std::string(TrimBlanks(strings.first));
  }
  if (count == 2) strings.second = std::string(TrimBlanks(PopString()));
  return strings;
}

// The file-error pair of a file on which corruption was reported.
void SetCorruptionPair(uint32_t code) {
  std::string_view message = MessageText(4101);
  if (message.empty()) message = "Possible data corruption in file";
  SetFileErrorPair(std::to_string(code), message.substr(0, 219));
}

// A corruption reported during an operation on `state`: every later
// operation but CLOSE and NAME fails until the file is closed.
int32_t RecordCorruption(OpenFileState& state, const CorruptionUnwind& unwind) {
  state.corruption_code = unwind.code;
  SetFileErrorPair(std::to_string(unwind.code), unwind.message);
  return ERR_FILE_SYSTEM;
}

// The entry's own refusals, then the operation's handler. A handler that
// had to look its key argument up anew (a build that opened the table and
// so replaced its descriptors) hands the new one back in the context, on
// every way out, a corruption unwind included.
int32_t RunHandler(int32_t operation, OpenFileState& state, const EngineArgs& args,
                   const StringArguments& strings, KeyDescriptor*& key, int32_t& result,
                   std::string& result_string) {
  if ((operation == op::OPEN || operation == op::SHARE) && state.name.empty()) {
    return ERR_INVALID_FILENAME;
  }
  if (operation == op::CREATE && (state.attributes & ATTR_CREATE) == 0) {
    return ERR_NO_CREATE_ATTRIBUTE;
  }
  const OperationHandler handler = DispatchedHandler(operation);
  if (handler == nullptr) return ERR_UNSUPPORTED_FUNCTION;
  OperationContext context{state, operation, key, args.cells, strings.first, strings.second, 0, {}};
  struct KeyHandBack {
    KeyDescriptor*& key;
    const OperationContext& context;
    ~KeyHandBack() { key = context.key; }
  } hand_back{key, context};
  const int32_t outcome = handler(context);
  result = context.result;
  result_string = std::move(context.result_string);
  return outcome;
}

// Steps from the corruption gate to the post-operation step, on a state
// that exists. Answers the outcome E.
int32_t RunOnState(int32_t operation, OpenFileState& state, const EngineArgs& args,
                   const StringArguments& strings, KeyDescriptor*& key, bool foreign_key,
                   int32_t& result, std::string& result_string) {
  SetCorruptionFile(state.name);
  MarkEngineOperationInProgress();

  int32_t outcome;
  if (state.corruption_code != 0 && operation == op::CLOSE) {
    // CLOSE of a damaged file is always accepted, whatever its flags say
    // (a transaction it was part of can no longer end any other way); it
    // releases the file instead of committing.
    state.flags |= FS_OPEN;
    state.after_actions = 0;
    outcome = 0;
  } else if (state.corruption_code != 0 && operation != op::NAME) {
    SetCorruptionPair(state.corruption_code);
    state.after_actions = 0;
    return ERR_FILE_SYSTEM;
  } else if (foreign_key) {
    state.after_actions = 0;
    outcome = ERR_INVALID_KEY_FILE;
  } else {
    outcome = CheckRule(operation, state, key, strings.first);
  }
  if (outcome != 0) return outcome;

  try {
    if ((RuleFor(operation)->required & FS_OPEN) == 0 && (state.flags & FS_OPEN) == 0) {
      RefreshDeclaredTexts(state);
    }
    outcome = RunHandler(operation, state, args, strings, key, result, result_string);
  } catch (const CorruptionUnwind& unwind) {
    outcome = RecordCorruption(state, unwind);
  } catch (const std::bad_alloc&) {
    outcome = ERR_NO_MEMORY;
  }

  if (operation == op::OPEN || operation == op::SHARE) {
    if (outcome == 0) {
      const uint32_t mode = static_cast<uint32_t>(args.cells[0]);
      state.access_mode = mode;
      if (mode & 0x30) state.flags |= FS_EXCLUSIVE; else state.flags &= ~FS_EXCLUSIVE;
      if (mode % 4 != 0) state.flags |= FS_WRITE_ACCESS; else state.flags &= ~FS_WRITE_ACCESS;
      UpdateDeclaredFileMode(state.declared, mode);
    } else {
      state.after_actions |= AFTER_DISCARD_STATE;
    }
  }
  return outcome;
}

// The post-operation step: the commit policy, under its own corruption trap.
// A state that holds a corruption code is never committed.
int32_t EndOnState(int32_t operation, OpenFileState& state, int32_t outcome) {
  if (state.corruption_code != 0) return outcome;
  try {
    const int32_t end_error = EndOperation(state, operation);
    if (outcome == 0) outcome = end_error;
  } catch (const CorruptionUnwind& unwind) {
    outcome = RecordCorruption(state, unwind);
  } catch (const std::bad_alloc&) {
    if (outcome == 0) outcome = ERR_NO_MEMORY;
  }
  return outcome;
}

}  // namespace

// The recovery point of a corruption report is the try block around the
// operation and around the post-operation step: each call of the entry has
// its own, so a call made from inside a running operation (an event handler
// during BUILD) nests without disturbing the outer one.
int32_t EngineEntry(int32_t operation, DeclaredFile& file, const EngineArgs& args) {
  if (operation == op::QUERY_VIEW) return 0;
  if (RuleFor(operation) == nullptr) {
    PostFileError(ERR_UNSUPPORTED_FUNCTION, &file);
    return 0;
  }

  // A closed state is rebuilt only when no call on it is in progress: an
  // outer call still works with it.
  OpenFileState* stale = file.state;
  if (stale != nullptr && RebuildsStaleState(operation) &&
      (stale->flags & (FS_OPEN | FS_OPTIONS_SET)) == 0 && stale->entry_depth == 0) {
    DiscardOpenFileState(file);
  }

  const StringArguments strings = PopStringArguments(operation);
  int32_t outcome = 0;
  int32_t result = 0;
  std::string result_string;

  if (file.state == nullptr) outcome = CreateOpenFileState(file);
  OpenFileState* state = file.state;
  if (state != nullptr) {
    // A nested call on the same state keeps the outer call's after-actions,
    // and leaves the operation mark of the outer call in place.
    const uint32_t outer_after_actions = state->after_actions;
    const bool marked_before = EngineOperationInProgress();
    ++state->entry_depth;

    KeyDescriptor* key = nullptr;
    bool foreign_key = false;
    if (TakesKey(operation)) {
      key = args.key != nullptr ? args.key->descriptor : nullptr;
      foreign_key = key == nullptr || key->owner != state;
      if (foreign_key) key = nullptr;
    }
    outcome = RunOnState(operation, *state, args, strings, key, foreign_key, result, result_string);
    outcome = EndOnState(operation, *state, outcome);
    if (!marked_before) ClearEngineOperationInProgress();
    ApplyTransition(operation, outcome, *state, key);

    state->last_error = outcome == -1 ? 0 : outcome;
    const uint32_t actions = state->after_actions;
    if (actions & AFTER_CLEAR_ERROR) ClearError();
    if (actions & AFTER_REMEMBER_OP) state->last_sequence_operation = static_cast<uint32_t>(operation);
    --state->entry_depth;
    if (state->entry_depth > 0) {
      state->after_actions = outer_after_actions;
    } else if ((actions & AFTER_DISCARD_STATE) && (state->flags & FS_OPEN) == 0) {
      // An open state is never discarded: its file stays open until a CLOSE
      // succeeds (a CLOSE refused with 56 under LOGOUT, for one, leaves the
      // file open and in its transaction).
      DiscardOpenFileState(file);
    }
  }

  if (ReturnsString(operation)) PushString(std::move(result_string));
  if (outcome != 0 && outcome != -1) PostFileError(outcome, &file);
  if (outcome != 0 && (operation == op::BOF || operation == op::EOF_)) result = 1;
  return result;
}

}  // namespace vantrose
