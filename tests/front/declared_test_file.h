// A small declared file for the front-end tests: a 40-byte record with a
// text, a LONG and a group of two LONGs, one key, one dynamic index and one
// memo. Tests change the pieces they need before the first operation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/front/engine_entry.h"
#include "engine/front/open_file_state.h"
#include "runtime/declared.h"

namespace vantrose {

inline DeclaredField Field(std::string label, uint8_t type, uint32_t offset, uint32_t element_size,
                           uint8_t level = 1) {
  DeclaredField field;
  field.label = std::move(label);
  field.type = type;
  field.offset = offset;
  field.element_size = element_size;
  field.level = level;
  return field;
}

struct TestFile {
  std::string name_text = "  demo.vnt  ";
  std::vector<uint8_t> buffer = std::vector<uint8_t>(40, ' ');
  std::vector<DeclaredField> record = {
      Field("T:RECORD", TYPE_GROUP, 0, 40, 0),
      Field("T:TITLE", TYPE_STRING, 0, 24),          // field 1
      Field("T:COUNT", TYPE_LONG, 24, 4),            // field 2
      Field("T:STAMP", TYPE_GROUP, 28, 8),           // field 3
      Field("T:DATE", TYPE_LONG, 28, 4, 2),          // field 4
      Field("T:TIME", TYPE_LONG, 32, 4, 2),          // field 5
      Field("T:FLAGS", TYPE_LONG, 36, 4),            // field 6
  };
  std::vector<DeclaredKey> keys;
  std::vector<DeclaredMemo> memos;
  DeclaredFile file;

  TestFile() {
    DeclaredKey title;
    title.label = "T:TITLEKEY";
    title.attributes = DKEY_DUP | DKEY_NOCASE;
    title.components = {1, -2};
    DeclaredKey dynamic;
    dynamic.label = "T:DYNKEY";
    dynamic.attributes = DKEY_INDEX | DKEY_DUP;
    keys = {title, dynamic};
    DeclaredMemo notes;
    notes.label = "T:NOTES";
    notes.size = 100;
    memos = {notes};
    file.label = "TESTFILE";
    file.entry = EngineEntry;
    file.name = DeclaredText{name_text.data(), static_cast<int32_t>(name_text.size())};
    file.record_length = 40;
    file.record = &record;
    file.keys = &keys;
    file.memos = &memos;
    file.record_buffer = buffer.data();
    for (DeclaredKey& key : keys) key.file = &file;
  }
  ~TestFile() { DiscardOpenFileState(file); }
  TestFile(const TestFile&) = delete;
  TestFile& operator=(const TestFile&) = delete;
};

}  // namespace vantrose
