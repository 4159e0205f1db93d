// Declared files: the caller's static description of one table file, its
// fields, keys and memos. The caller owns these objects; the engine reads them
// and writes only the references it owns (the file's state, each key's
// descriptor, each memo's buffer).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrose {

struct DeclaredFile;
struct DeclaredKey;
class OpenFileState;      // owned by the engine (engine/front)
struct KeyDescriptor;     // owned by the engine (engine/table)

// Field type codes of a declaration (the declaration's own numbering).
enum FieldType : uint8_t {
  TYPE_BYTE = 1, TYPE_SHORT = 2, TYPE_USHORT = 3, TYPE_DATE = 4, TYPE_TIME = 5,
  TYPE_LONG = 6, TYPE_ULONG = 7, TYPE_SREAL = 8, TYPE_REAL = 9, TYPE_DECIMAL = 10,
  TYPE_PDECIMAL = 11, TYPE_BFLOAT4 = 13, TYPE_BFLOAT8 = 14, TYPE_STRING = 18,
  TYPE_CSTRING = 19, TYPE_PSTRING = 20, TYPE_MEMO = 21, TYPE_GROUP = 22, TYPE_BLOB = 27,
};

// Attribute bits of a declared file (bit 0 is unused by the declaration).
enum : uint8_t {
  DECL_ENCRYPT = 0x02, DECL_CREATE = 0x04, DECL_RECLAIM = 0x08,
  DECL_THREAD = 0x10, DECL_OEM = 0x20, DECL_ATTR_40 = 0x40,
};

// Attribute word of a declared key.
enum : uint16_t {
  DKEY_DUP = 0x0001, DKEY_OPT = 0x0002, DKEY_NOCASE = 0x0004, DKEY_ATTR_08 = 0x0008,
  DKEY_PRIMARY = 0x0010, DKEY_INDEX = 0x4000,
};

// Attribute bits of a declared memo.
enum : uint8_t { DMEMO_BINARY = 0x02, DMEMO_BLOB = 0x04 };

// Length kinds of a declared text.
enum : int32_t { TEXT_ZERO_TERMINATED = -1, TEXT_LENGTH_PREFIXED = -2 };

// A declared text: bytes plus a length kind. A length of 0 or more is a
// fixed-length blank-padded text of that many bytes.
struct DeclaredText {
  const char* text = nullptr;
  int32_t length = 0;
};

// One item of a declared record. Item 0 of a record is the record itself (a
// GROUP at level 0); fields are the items after it, numbered from 1, top-level
// fields at level 1 and members of a group one level deeper than the group.
struct DeclaredField {
  std::string label;            // "MOV:TITLE"
  uint8_t type = 0;             // FieldType
  uint32_t offset = 0;          // bytes from the start of the record buffer
  uint32_t element_size = 0;    // bytes of one element (DECIMAL: its width)
  std::vector<uint32_t> dimensions;  // empty for a plain field
  uint8_t places = 0;           // DECIMAL
  std::string picture;
  std::string external_name;
  uint8_t level = 1;
};

struct DeclaredKey {
  std::string external_name;
  std::string label;            // "MOV:CREATEDKEY"
  KeyDescriptor* descriptor = nullptr;  // written by the engine
  uint16_t attributes = 0;      // DKEY_*
  // 1-based field number when ascending; the bitwise complement of the
  // 0-based field number (that is, minus the field number) when descending.
  std::vector<int32_t> components;
  DeclaredFile* file = nullptr;
};

struct DeclaredMemo {
  std::string label;
  std::string external_name;
  uint32_t size = 0;            // maximum size in bytes
  uint8_t attributes = 0;       // DMEMO_*
  char* buffer = nullptr;       // engine-allocated; set and cleared by the engine
};

// Cells of one engine call. Operations that take a key receive the declared
// key in `key` (the first cell of the block); the operation's own numeric
// arguments follow in `cells`, in call order.
struct EngineArgs {
  DeclaredKey* key = nullptr;
  std::array<int32_t, 4> cells{};
};

using EngineEntryFn = int32_t (*)(int32_t op, DeclaredFile& file, const EngineArgs& args);

struct DeclaredFile {
  std::string label;            // "REELBIN1"; for messages and traces
  EngineEntryFn entry = nullptr;
  DeclaredText name;
  DeclaredText driver_options;
  DeclaredText owner;
  uint8_t attributes = 0;       // DECL_*
  uint32_t record_length = 0;
  std::vector<DeclaredField>* record = nullptr;
  std::vector<DeclaredKey>* keys = nullptr;
  std::vector<DeclaredMemo>* memos = nullptr;
  uint8_t* record_buffer = nullptr;
  OpenFileState* state = nullptr;  // owned by the engine

  uint8_t KeyCount() const { return keys ? static_cast<uint8_t>(keys->size()) : 0; }
  uint8_t MemoCount() const { return memos ? static_cast<uint8_t>(memos->size()) : 0; }
};

}  // namespace vantrose
