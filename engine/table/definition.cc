#include "engine/table/definition.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "engine/storage/page_tree.h"
#include "engine/table/record_kinds.h"
#include "engine/table/table_state.h"
#include "runtime/declared.h"

namespace vantrose {

namespace {

constexpr uint32_t kMaxRecordLength = 15000;
constexpr uint32_t kMaxMemoSize = 64000;
constexpr size_t kMaxMemos = 255;
// No declared name, label or picture comes near this; a longer text is damage.
constexpr size_t kMaxStoredText = 4096;

bool HasDecimalExtras(uint8_t type) { return type == TYPE_DECIMAL || type == TYPE_PDECIMAL; }
bool HasStringExtras(uint8_t type) {
  return type == TYPE_STRING || type == TYPE_CSTRING || type == TYPE_PSTRING;
}

// ---- Writing ---------------------------------------------------------------

void PutByte(std::vector<uint8_t>& out, uint8_t value) { out.push_back(value); }
void PutWord(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

// Memo and key external names are optional in a declaration and are held
// empty when not declared: an empty one is stored as absent (00 01). Every
// other text is present, so an empty one is stored as 00 00. A text is
// stored up to its first zero byte, which would otherwise end it early.
void PutText(std::vector<uint8_t>& out, const std::string& text, bool absent_when_empty) {
  size_t length = std::min(text.size(), std::strlen(text.c_str()));
  if (length == 0) {
    out.push_back(0);
    out.push_back(absent_when_empty ? 1 : 0);
    return;
  }
  out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
  out.push_back(0);
}

bool AnyBlob(const std::vector<MemoDescriptor>& memos) {
  return std::any_of(memos.begin(), memos.end(),
                     [](const MemoDescriptor& m) { return (m.flags & MEMO_BLOB) != 0; });
}

// ---- Reading ---------------------------------------------------------------

// A stored text as read: absent, or present with its bytes.
struct StoredText {
  bool absent = false;
  std::string bytes;
};

// Takes the stream byte by byte from its pieces, fetching piece k+1 when the
// 512 bytes of piece k are used up. Bytes beyond what is stored (a missing
// piece, or past the end of a short one) read as zero and mark the reader
// as having run past the stored definition.
class DefinitionReader {
 public:
  explicit DefinitionReader(DefinitionPieceSource& source) : source_(source) {}

  uint8_t Byte() {
    if (position_ == kDefinitionPieceSize) LoadNextPiece();
    if (position_ >= stored_) past_end_ = true;
    return chunk_[position_++];
  }
  uint16_t Word() {
    uint16_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }
  // False for a malformed text (00 followed by anything but 00 or 01, or a
  // text longer than any name can be).
  bool Text(StoredText* text) {
    text->absent = false;
    text->bytes.clear();
    uint8_t byte = Byte();
    if (byte == 0) {
      uint8_t marker = Byte();
      if (marker > 1) return false;
      text->absent = marker == 1;
      return true;
    }
    while (byte != 0) {
      if (text->bytes.size() == kMaxStoredText) return false;
      text->bytes.push_back(static_cast<char>(byte));
      byte = Byte();
    }
    return true;
  }
  bool past_end() const { return past_end_; }

 private:
  void LoadNextPiece() {
    size_t length = 0;
    std::memset(chunk_, 0, sizeof chunk_);
    if (next_piece_ <= 0xFFFF && source_.Fetch(static_cast<uint16_t>(next_piece_), chunk_, &length)) {
      stored_ = std::min(length, kDefinitionPieceSize);
      // Whatever a source left beyond the stored length reads as zero too.
      std::memset(chunk_ + stored_, 0, kDefinitionPieceSize - stored_);
    } else {
      stored_ = 0;
    }
    ++next_piece_;
    position_ = 0;
  }

  DefinitionPieceSource& source_;
  uint8_t chunk_[kDefinitionPieceSize] = {};
  size_t position_ = kDefinitionPieceSize;  // forces piece 0 on the first byte
  size_t stored_ = 0;
  uint32_t next_piece_ = 0;
  bool past_end_ = false;
};

bool SameText(const StoredText& stored, const std::string& declared, bool absent_when_empty) {
  size_t length = std::min(declared.size(), std::strlen(declared.c_str()));
  bool declared_absent = absent_when_empty && length == 0;
  if (stored.absent || declared_absent) return stored.absent == declared_absent;
  return stored.bytes.size() == length && std::memcmp(stored.bytes.data(), declared.data(), length) == 0;
}

// Accumulates the comparison result; the first intolerable difference ends it.
class Comparison {
 public:
  explicit Comparison(DefinitionReader& reader) : reader_(reader) {}
  bool Strict(uint32_t declared, uint32_t stored) { return declared == stored; }
  void Tolerated(bool equal) {
    if (!equal) result_ = DEFINITION_TOLERATED;
  }
  // Compares a text; false when the stored text is malformed.
  bool Text(const std::string& declared, bool absent_when_empty) {
    StoredText stored;
    if (!reader_.Text(&stored)) return false;
    Tolerated(SameText(stored, declared, absent_when_empty));
    return true;
  }
  DefinitionMatch result() const { return result_; }

 private:
  DefinitionReader& reader_;
  DefinitionMatch result_ = DEFINITION_EQUAL;
};

DefinitionMatch CompareFields(const TableState& state, DefinitionReader& in, Comparison& cmp) {
  for (const FieldDescriptor& field : state.fields) {
    if (in.Byte() != field.type) return DEFINITION_DIFFERENT;
    if (in.Word() != static_cast<uint16_t>(field.offset)) return DEFINITION_DIFFERENT;
    if (!cmp.Text(field.name, false)) return DEFINITION_DIFFERENT;
    if (in.Word() != static_cast<uint16_t>(field.element_count)) return DEFINITION_DIFFERENT;
    if (in.Word() != static_cast<uint16_t>(field.size)) return DEFINITION_DIFFERENT;
    if (in.Word() != field.over) return DEFINITION_DIFFERENT;
    if (in.Word() != static_cast<uint16_t>(field.index)) return DEFINITION_DIFFERENT;
    if (HasDecimalExtras(field.type)) {
      cmp.Tolerated(in.Byte() == field.places);
      cmp.Tolerated(in.Byte() == field.element_size);
    } else if (HasStringExtras(field.type)) {
      cmp.Tolerated(in.Word() == static_cast<uint16_t>(field.element_length));
      if (!cmp.Text(field.picture, false)) return DEFINITION_DIFFERENT;
    }
  }
  return cmp.result();
}

DefinitionMatch CompareMemosAndKeys(const TableState& state, DefinitionReader& in, Comparison& cmp) {
  for (const MemoDescriptor& memo : state.memos) {
    if (!cmp.Text(memo.external_name, true) || !cmp.Text(memo.label, false)) {
      return DEFINITION_DIFFERENT;
    }
    uint16_t size = in.Word();
    // A BLOB's declared size says nothing about what it holds.
    if ((memo.flags & MEMO_BLOB) == 0 && size != static_cast<uint16_t>(memo.size)) {
      return DEFINITION_DIFFERENT;
    }
    in.Word();  // flags: read and not compared
  }
  for (const KeyDescriptor& key : state.keys) {
    if (!cmp.Text(key.external_name, true) || !cmp.Text(key.label, false)) {
      return DEFINITION_DIFFERENT;
    }
    uint8_t flags = in.Byte();
    if ((flags & ~KEY_PRIMARY) != (key.flags & ~KEY_PRIMARY)) return DEFINITION_DIFFERENT;
    if (in.Word() != key.components.size()) return DEFINITION_DIFFERENT;
    for (const KeyComponent& component : key.components) {
      uint16_t index = in.Word();
      if (component.field == nullptr || index != component.field->index) return DEFINITION_DIFFERENT;
      if (in.Word() != component.descending) return DEFINITION_DIFFERENT;
    }
  }
  return cmp.result();
}

bool KnownType(uint8_t type) {
  return (type >= TYPE_BYTE && type <= TYPE_PDECIMAL) || type == TYPE_BFLOAT4 ||
         type == TYPE_BFLOAT8 || (type >= TYPE_STRING && type <= TYPE_GROUP) || type == TYPE_BLOB;
}
bool RecordType(uint8_t type) {
  return (type >= TYPE_BYTE && type <= TYPE_DECIMAL) || HasStringExtras(type) || type == TYPE_GROUP;
}

std::string ToString(StoredText&& text) { return std::move(text.bytes); }

// Reads one field; false when it cannot be part of a record of `length`.
bool ReadField(DefinitionReader& in, uint32_t record_length, uint32_t index, FieldDescriptor* field) {
  StoredText name;
  field->type = in.Byte();
  field->offset = in.Word();
  if (!in.Text(&name) || name.absent) return false;
  field->element_count = in.Word();
  field->size = in.Word();
  field->over = in.Word();
  field->index = in.Word();
  if (!KnownType(field->type) || field->over > 1) return false;
  if (!RecordType(field->type) && field->over == 0) return false;
  if (field->index != index || field->element_count == 0) return false;
  if (field->offset > record_length || field->size > record_length - field->offset) return false;
  if (HasDecimalExtras(field->type)) {
    field->places = in.Byte();
    field->element_size = in.Byte();
    if (field->element_size > field->size) return false;
  } else if (HasStringExtras(field->type)) {
    field->element_length = in.Word();
    StoredText picture;
    if (!in.Text(&picture) || field->element_length > field->size) return false;
    field->picture = ToString(std::move(picture));
  }
  field->name = ToString(std::move(name));
  field->label = field->name;
  return !in.past_end();
}

// The pieces of one table in its store.
class StoredPieces : public DefinitionPieceSource {
 public:
  StoredPieces(FileStore& store, uint32_t table) : store_(store), table_(table) {}
  bool Fetch(uint16_t piece, uint8_t* chunk, size_t* length) override {
    uint8_t key[kDefinitionKeyLength];
    DefinitionKey(key, table_, piece);
    const RecordNode* record = FindExact(store_, KeyBytes(key, sizeof key));
    if (record == nullptr) return false;
    *length = std::min(record->data().size(), kDefinitionPieceSize);
    std::memcpy(chunk, record->data().data(), *length);
    return true;
  }

 private:
  FileStore& store_;
  uint32_t table_;
};

}  // namespace

void WriteDefinition(TableState& state) {
  const std::vector<uint8_t> stream = EncodeDefinition(state);
  uint8_t key[kDefinitionKeyLength];
  uint16_t piece = 0;
  for (size_t at = 0; at < stream.size(); at += kDefinitionPieceSize, ++piece) {
    size_t length = std::min(kDefinitionPieceSize, stream.size() - at);
    DefinitionKey(key, state.table_number, piece);
    Insert(*state.store, RecordNode::FromBytes(KeyBytes(key, sizeof key),
                                               std::span<const uint8_t>(stream.data() + at, length)));
  }
}

DefinitionMatch CompareDefinition(TableState& state) {
  StoredPieces pieces(*state.store, state.table_number);
  return CompareDefinitionStream(state, pieces);
}

int32_t ReadDefinition(TableState& state) {
  StoredPieces pieces(*state.store, state.table_number);
  return ReadDefinitionStream(state, pieces);
}

std::vector<uint8_t> EncodeDefinition(const TableState& state) {
  std::vector<uint8_t> out;
  out.reserve(10 + state.fields.size() * 32 + state.keys.size() * 48);
  PutWord(out, AnyBlob(state.memos) ? 2 : 1);
  PutWord(out, state.record_length);
  PutWord(out, static_cast<uint32_t>(state.fields.size()));
  PutWord(out, static_cast<uint32_t>(state.memos.size()));
  PutWord(out, static_cast<uint32_t>(state.keys.size()));
  for (const FieldDescriptor& field : state.fields) {
    PutByte(out, field.type);
    PutWord(out, field.offset);
    PutText(out, field.name, false);
    PutWord(out, field.element_count);
    PutWord(out, field.size);
    PutWord(out, field.over);
    PutWord(out, field.index);
    if (HasDecimalExtras(field.type)) {
      PutByte(out, field.places);
      PutByte(out, field.element_size);
    } else if (HasStringExtras(field.type)) {
      PutWord(out, field.element_length);
      PutText(out, field.picture, false);
    }
  }
  for (const MemoDescriptor& memo : state.memos) {
    PutText(out, memo.external_name, true);
    PutText(out, memo.label, false);
    PutWord(out, memo.size);
    PutWord(out, memo.flags);
  }
  for (const KeyDescriptor& key : state.keys) {
    PutText(out, key.external_name, true);
    PutText(out, key.label, false);
    PutByte(out, key.flags);
    PutWord(out, static_cast<uint32_t>(key.components.size()));
    for (const KeyComponent& component : key.components) {
      PutWord(out, component.field ? component.field->index : 0);
      PutWord(out, component.descending);
    }
  }
  return out;
}

DefinitionMatch CompareDefinitionStream(const TableState& state, DefinitionPieceSource& source) {
  DefinitionReader in(source);
  if (in.Word() != (AnyBlob(state.memos) ? 2 : 1)) return DEFINITION_DIFFERENT;
  if (in.Word() != static_cast<uint16_t>(state.record_length)) return DEFINITION_DIFFERENT;
  if (in.Word() != state.fields.size()) return DEFINITION_DIFFERENT;
  if (in.Word() != state.memos.size()) return DEFINITION_DIFFERENT;
  if (in.Word() != state.keys.size()) return DEFINITION_DIFFERENT;
  Comparison cmp(in);
  if (CompareFields(state, in, cmp) == DEFINITION_DIFFERENT) return DEFINITION_DIFFERENT;
  return CompareMemosAndKeys(state, in, cmp);
}

// A definition that cannot be read fails like one that does not match (47):
// in both cases the table cannot be used with these descriptors, and REMOVE,
// which ignores 47, can still delete a table whose definition is damaged.
int32_t ReadDefinitionStream(TableState& state, DefinitionPieceSource& source) {
  constexpr int32_t kDamaged = 47;
  try {
    DefinitionReader in(source);
    uint16_t version = in.Word();
    uint32_t record_length = in.Word();
    uint32_t field_count = in.Word();
    uint32_t memo_count = in.Word();
    uint32_t key_count = in.Word();
    if (in.past_end() || (version != 1 && version != 2) || record_length > kMaxRecordLength ||
        memo_count > kMaxMemos || key_count > kMaxKeys) {
      return kDamaged;
    }
    // Arrays grow as entries are read, never ahead of them: a count can only
    // cost memory that the stored stream actually fills.
    std::vector<FieldDescriptor> fields;
    for (uint32_t i = 0; i < field_count; ++i) {
      FieldDescriptor field;
      if (!ReadField(in, record_length, i, &field)) return kDamaged;
      fields.push_back(std::move(field));
    }
    // Fields lying over earlier bytes refer to the first field at their offset.
    for (FieldDescriptor& field : fields) {
      if (field.over == 0) continue;
      for (const FieldDescriptor& earlier : fields) {
        if (earlier.offset == field.offset) {
          field.overlaid_field = earlier.index + 1;
          break;
        }
      }
    }
    std::vector<MemoDescriptor> memos;
    bool any_blob = false;
    for (uint32_t i = 0; i < memo_count; ++i) {
      MemoDescriptor memo;
      StoredText external_name, label;
      if (!in.Text(&external_name) || !in.Text(&label)) return kDamaged;
      memo.external_name = ToString(std::move(external_name));
      memo.label = ToString(std::move(label));
      memo.size = in.Word();
      memo.flags = static_cast<uint8_t>(in.Word());
      if (in.past_end() || memo.size > kMaxMemoSize) return kDamaged;
      any_blob = any_blob || (memo.flags & MEMO_BLOB) != 0;
      memo.buffer.assign(memo.size, ' ');
      memos.push_back(std::move(memo));
    }
    if (version != (any_blob ? 2 : 1)) return kDamaged;
    std::vector<KeyDescriptor> keys;
    for (uint32_t i = 0; i < key_count; ++i) {
      KeyDescriptor key;
      StoredText external_name, label;
      if (!in.Text(&external_name) || !in.Text(&label)) return kDamaged;
      key.external_name = ToString(std::move(external_name));
      key.label = ToString(std::move(label));
      key.flags = in.Byte();
      key.number = i;
      key.owner = &state;
      uint32_t component_count = in.Word();
      for (uint32_t c = 0; c < component_count; ++c) {
        uint16_t index = in.Word();
        uint16_t direction = in.Word();
        if (in.past_end() || index >= fields.size() || direction > 1) return kDamaged;
        // fields' elements stay where they are when the vector moves below.
        key.components.push_back(KeyComponent{&fields[index], static_cast<uint8_t>(direction)});
      }
      if (in.past_end()) return kDamaged;
      keys.push_back(std::move(key));
    }
    state.record_length = record_length;
    state.fields = std::move(fields);
    state.memos = std::move(memos);
    state.keys = std::move(keys);
    return 0;
  } catch (const std::bad_alloc&) {
    return 8;
  }
}

}  // namespace vantrose
