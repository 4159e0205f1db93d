// The engine's state of one declared file. The table layer's part of it is
// TableState (engine/table/table_state.h); OpenFileState adds what only the
// engine entry and the front-end operations use. One state per declared
// file: created on the file's first operation, referenced from
// DeclaredFile::state, owned by the engine, and discarded after CLOSE,
// CREATE, COPY, RENAME, REMOVE or a failed OPEN.
//
// Invariants:
// - file.state == s exactly while s exists for `file`, and `file` is then in
//   the caller's open-file registry;
// - every declared key of `file` points at its KeyDescriptor in s, and every
//   declared memo at its descriptor's buffer, while s exists;
// - a state is never discarded while FS_OPEN is set or while an engine call
//   on it is in progress (entry_depth > 0).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/table/table_state.h"
#include "runtime/declared.h"

namespace vantrose {

// Override marks: texts set by SET_PROPERTY that are no longer refreshed
// from the declaration.
enum : uint32_t { OVERRIDE_NAME = 0x1, OVERRIDE_OWNER = 0x2, OVERRIDE_DRIVER = 0x4 };

// A BUILD deferred to an event (FS_BUILD_AS_EVENT).
struct DeferredBuild {
  uint32_t operation = 0;
  KeyDescriptor* key = nullptr;
  std::string components;
  std::string filter;      // BUILDdynfilter only
};

class OpenFileState : public TableState {
 public:
  std::string name;            // blank-trimmed; after OPEN the resolved name
  std::string owner;
  std::string driver_string;

  uint32_t last_sequence_operation = 0;  // code of the last AFTER_REMEMBER_OP call
  uint32_t after_actions = 0;            // AFTER_* of the current call
  uint32_t override_marks = 0;           // OVERRIDE_*
  int32_t last_error = 0;                // outcome of the last call (0 for -1)

  uint8_t trace_on = 0;
  uint8_t trace_details = 0;
  std::string trace_file_name;           // at most 260 characters
  std::FILE* trace_file = nullptr;

  DeferredBuild deferred_build;
  uint16_t build_event_step = 0;
  uint16_t build_progress = 0;

  std::string_view driver_name = "VANTROSE";
  DeclaredFile* declared = nullptr;

  // Engine calls on this state in progress (calls nest from event handlers).
  uint32_t entry_depth = 0;
};

// Creates the state of `file` (which has none): registers the file with
// mode 0, copies its texts and attributes and derives the descriptors.
// Answers 0, or the derivation's error (47, 75, 79, 8); on error nothing is
// left behind and file.state stays empty.
int32_t CreateOpenFileState(DeclaredFile& file);

// Frees the state of `file`, clears the references the engine wrote into the
// declaration, and makes the registry forget the file. Never closes the
// physical file.
void DiscardOpenFileState(DeclaredFile& file);

// Copies the declared name, owner and driver string into the state again,
// each unless SET_PROPERTY has overridden it.
void RefreshDeclaredTexts(OpenFileState& state);

// The bytes of a declared text by its length kind: up to the terminator,
// the length byte's count, or the fixed length with its blanks.
std::string_view DeclaredTextBytes(const DeclaredText& text);

// `text` without leading and trailing blanks.
std::string_view TrimBlanks(std::string_view text);

}  // namespace vantrose
