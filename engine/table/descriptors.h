// Field, key and memo descriptors: the engine's own description of a table,
// derived once from a declaration (engine/front DeriveDescriptors) or read
// from the stored table definition. Everything in the table layer works from
// these, never from the declaration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrose {

class FileStore;
class Cursor;
class TableState;

struct FieldDescriptor {
  uint8_t type = 0;            // FieldType code
  uint32_t offset = 0;         // stored as u16
  std::string name;            // external name when declared, else the label
  std::string label;           // not stored
  std::string external_name;   // not stored
  uint32_t element_count = 1;  // product of the dimensions
  uint32_t size = 0;           // element_count * element size
  uint16_t over = 0;           // FIELD_OVER: lies over bytes of an earlier field
  uint32_t overlaid_field = 0; // 1-based number of the first field at the same offset
  uint32_t index = 0;          // 0-based position in the field list
  uint8_t places = 0;          // DECIMAL
  uint8_t element_size = 0;    // DECIMAL: bytes of one element
  uint32_t element_length = 0; // STRING, CSTRING, PSTRING: bytes of one element
  std::string picture;         // STRING, CSTRING, PSTRING
};

// Key flags byte.
enum : uint8_t {
  KEY_DUP = 0x01, KEY_OPT = 0x02, KEY_NOCASE = 0x04, KEY_ATTR_08 = 0x08,
  KEY_PRIMARY = 0x10, KEY_INDEX = 0x20, KEY_DYNAMIC = 0x40,
};

struct KeyComponent {
  const FieldDescriptor* field = nullptr;
  uint8_t descending = 0;      // 0 ascending, 1 descending
};

struct KeyDescriptor {
  TableState* owner = nullptr;
  std::string external_name;
  std::string label;
  std::vector<KeyComponent> components;
  uint8_t flags = 0;           // KEY_*
  uint32_t number = 0;         // 0-based; the kind byte of its index entries
  uint32_t state_flags = 0;    // FS_KEY_BUILT for a built dynamic index
  // Run-time parts (table layer): the store holding the entries (the table's
  // own, or a store of the key's own for a dynamic index) and a cursor on the
  // key's statistics record.
  FileStore* store = nullptr;
  Cursor* stats_cursor = nullptr;  // owned by the table layer; released at CLOSE

  size_t ComponentCount() const { return components.size(); }
};

enum : uint8_t { MEMO_BINARY = 0x02, MEMO_BLOB = 0x04 };

struct MemoDescriptor {
  std::string external_name;
  std::string label;
  std::vector<char> buffer;    // the declared size, blank-filled at set-up
  uint32_t size = 0;
  uint8_t flags = 0;           // MEMO_*
  // Run-time parts (memos and BLOBs): BLOB length, movable memory handle,
  // changed mark, compare copy for WATCH.
  uint32_t blob_length = 0;
  uint32_t blob_handle = 0;
  bool blob_changed = false;
  std::vector<char> watch_copy;
};

}  // namespace vantrose
