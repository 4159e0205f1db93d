// The part of a file's engine state that the table layer reads and changes:
// descriptors, record buffer and images, the open table's number, its store
// and cursors, the sequence position and the record-state flags. The engine
// front end's OpenFileState extends it with what only the entry uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/table/descriptors.h"
#include "engine/table/dynamic_index.h"

namespace vantrose {

struct CollationTables;

// State flags (OpenFileState::flags).
enum : uint32_t {
  FS_OPEN = 0x1, FS_RECORD_CURRENT = 0x2, FS_LOGGED_OUT = 0x4, FS_STREAMING = 0x8,
  FS_LOCKED = 0x10, FS_POSITIONED = 0x20, FS_WRITE_ACCESS = 0x40, FS_EXCLUSIVE = 0x80,
  FS_KEY_BUILT = 0x100, FS_IN_BUILD_EVENT = 0x4000, FS_BUILD_AS_EVENT = 0x8000,
  FS_OPTIONS_SET = 0x10000,
};

// Record-state flags (TableState::table_flags).
enum : uint16_t {
  RS_OPEN = 0x1, RS_HOLD_NEXT = 0x2, RS_HELD = 0x4, RS_WATCH_NEXT = 0x8,
  RS_WATCHED = 0x10, RS_NOMEMO = 0x20, RS_MEMOS_SKIPPED = 0x40, RS_FULLBUILD = 0x100,
};

// Attribute bits of a state (the declaration's bits 1..6 moved down).
enum : uint8_t {
  ATTR_ENCRYPT = 0x01, ATTR_CREATE = 0x02, ATTR_RECLAIM = 0x04, ATTR_THREAD = 0x08,
  ATTR_OEM = 0x10, ATTR_FURTHER = 0x20,
};

class TableState {
 public:
  virtual ~TableState() = default;

  uint8_t attributes = 0;
  uint8_t* record_buffer = nullptr;
  uint32_t record_length = 0;
  std::vector<FieldDescriptor> fields;
  std::vector<KeyDescriptor> keys;
  std::vector<MemoDescriptor> memos;

  uint32_t access_mode = 0;
  uint32_t flags = 0;           // FS_*
  uint16_t table_flags = 0;     // RS_*
  uint32_t table_number = 0;

  // Sequence position (data records and sequential access).
  KeyDescriptor* current_key = nullptr;  // empty for file order
  uint32_t positioning_mode = 0;
  KeyDescriptor* position_key = nullptr;
  std::vector<uint8_t> position_record;
  uint32_t current_record = 0;
  std::string position_text;
  int32_t hold_seconds = 0;
  uint32_t hold_start = 0;
  std::vector<uint8_t> record_image;   // image of the current record as stored
  std::vector<uint8_t> watch_image;    // compare image for WATCH

  FileStore* store = nullptr;          // shared through the open-file registry
  Cursor* data_cursor = nullptr;
  Cursor* key_cursor = nullptr;
  // Kept on the table's data statistics record by the statistics helpers
  // (engine/table/statistics.h); made by the table open, released at CLOSE.
  Cursor* stats_cursor = nullptr;

  uint32_t corruption_code = 0;
  uint32_t commit_deferral = 0;
  uint8_t in_view = 0;
  CollationTables* collation = nullptr;
  // The in-memory stores of the table's built dynamic indexes; freed at
  // CLOSE (engine/table/dynamic_index.h).
  DynamicIndexStores dynamic_stores;
};

}  // namespace vantrose
