#include "app/declarations.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/front/engine_entry.h"

namespace vantrose {
namespace {

// The money fields' type differs between the versions; every other field is
// the same in both.
constexpr uint8_t kMoney = 0;

struct FieldSpec {
  const char* name;
  uint8_t type;
  uint32_t size;
  uint32_t offset;
  uint8_t level;
};

// Fields 1 to 33 in declaration order; a group is followed by its members.
constexpr FieldSpec kFields[] = {
    {"TITLE", TYPE_STRING, 100, 0, 1},
    {"LENDDATE", TYPE_STRING, 20, 100, 1},
    {"BUYPRICE", kMoney, kMoneyWidth, kBuyPriceOffset, 1},
    {"GIVENTO", TYPE_STRING, 50, 124, 1},
    {"DATEGIVEN", TYPE_STRING, 20, 174, 1},
    {"CATEGORY", TYPE_STRING, 80, 194, 1},
    {"ARTIST", TYPE_STRING, 80, 274, 1},
    {"LENTTO", TYPE_STRING, 50, 354, 1},
    {"LOCATION", TYPE_STRING, 80, 404, 1},
    {"LENGTH", TYPE_STRING, 25, 484, 1},
    {"MEDIA", TYPE_STRING, 80, 509, 1},
    {"VALUE", kMoney, kMoneyWidth, kValueOffset, 1},
    {"LABEL", TYPE_STRING, 50, 593, 1},
    {"COPYDATE", TYPE_STRING, 50, 643, 1},
    {"ENGINEER", TYPE_STRING, 50, 693, 1},
    {"CUSTOM1", TYPE_STRING, 50, 743, 1},
    {"PRODUCER", TYPE_STRING, 80, 793, 1},
    {"CUSTOM2", TYPE_STRING, 50, 873, 1},
    {"CONDITION", TYPE_STRING, 80, 923, 1},
    {"GRAPHICFILE", TYPE_STRING, 120, 1003, 1},
    {"DELETED", TYPE_BYTE, 1, 1123, 1},
    {"CREATED", TYPE_GROUP, 8, 1124, 1},
    {"CREATEDDATE", TYPE_LONG, 4, 1124, 2},
    {"CREATEDTIME", TYPE_LONG, 4, 1128, 2},
    {"CHANGED", TYPE_GROUP, 8, 1132, 1},
    {"CHANGEDDATE", TYPE_LONG, 4, 1132, 2},
    {"CHANGEDTIME", TYPE_LONG, 4, 1136, 2},
    {"ARTISTKEY", TYPE_STRING, 80, 1140, 1},
    {"TITLEKEY", TYPE_STRING, 50, 1220, 1},
    {"LISTBYSTARS", TYPE_BYTE, 1, 1270, 1},
    {"CONTENTS", TYPE_STRING, 3000, 1271, 1},
    {"RATING", TYPE_STRING, 30, 4271, 1},
    {"SONGS", TYPE_STRING, 5000, 4301, 1},
};

constexpr uint16_t kDup = DKEY_DUP;
constexpr uint16_t kDupOptNocase = DKEY_DUP | DKEY_OPT | DKEY_NOCASE;
constexpr uint16_t kIndex = DKEY_INDEX | kDupOptNocase;

struct KeySpec {
  const char* name;
  uint16_t attributes;
  std::vector<int32_t> components;  // field numbers, all ascending
};

// Keys in declaration order (the engine numbers them from 0). The two
// indexes have no components: theirs are given when one is built on request.
const KeySpec kKeys[] = {
    {"CREATEDKEY", kDup, {23, 24, 21}},
    {"DELETEKEY", kDupOptNocase, {21}},
    {"STARSKEY", kIndex, {}},
    {"GIVENTOKEY", kDupOptNocase, {4, 1}},
    {"DATEGIVENKEY", kDupOptNocase, {5, 1}},
    {"STARSKEYKEY", kIndex, {}},
    {"TITLEKEYKEY", kDupOptNocase, {1, 6, 7}},
    {"ARTISTKEYKEY", kDupOptNocase, {7, 1, 6}},
    {"LOCATIONKEY", kDupOptNocase, {9, 1, 6}},
    {"MEDIAKEY", kDupOptNocase, {11, 1, 6}},
    {"COPYDATEKEY", kDupOptNocase, {14, 1}},
    {"CATEGORYKEY", kDupOptNocase, {6, 1}},
    {"LENTTOKEY", kDupOptNocase, {8, 1}},
    {"CUSTOM2KEY", kDupOptNocase, {18, 1}},
    {"LENGTHKEY", kDupOptNocase, {10, 1}},
    {"PRODUCERKEY", kDupOptNocase, {17, 1}},
    {"ENGINEERKEY", kDupOptNocase, {15, 1}},
    {"LABELKEY", kDupOptNocase, {13, 1}},
    {"CUSTOM1KEY", kDupOptNocase, {16, 1}},
    {"CONDITIONKEY", kDupOptNocase, {19, 1}},
    {"RATINGKEY", kDupOptNocase, {32, 1, 7}},
    {"VALUEKEY", kDupOptNocase, {12, 1}},
};

// Item 0 is the record itself; fields follow from item 1.
std::vector<DeclaredField> MakeFields(const std::string& prefix, uint8_t money_type,
                                      uint8_t money_places) {
  std::vector<DeclaredField> fields;
  fields.reserve(std::size(kFields) + 1);
  DeclaredField record;
  record.label = prefix + ":RECORD";
  record.type = TYPE_GROUP;
  record.element_size = kCatalogueRecordLength;
  record.level = 0;
  fields.push_back(record);
  for (const FieldSpec& spec : kFields) {
    DeclaredField field;
    field.label = prefix + ":" + spec.name;
    field.type = spec.type == kMoney ? money_type : spec.type;
    field.places = spec.type == kMoney ? money_places : 0;
    field.offset = spec.offset;
    field.element_size = spec.size;
    field.level = spec.level;
    fields.push_back(field);
  }
  return fields;
}

std::vector<DeclaredKey> MakeKeys(const std::string& prefix, DeclaredFile* file) {
  std::vector<DeclaredKey> keys;
  keys.reserve(std::size(kKeys));
  for (const KeySpec& spec : kKeys) {
    DeclaredKey key;
    key.label = prefix + ":" + spec.name;
    key.attributes = spec.attributes;
    key.components = spec.components;
    key.file = file;
    keys.push_back(key);
  }
  return keys;
}

std::vector<DeclaredField> g_in_fields = MakeFields("IN", TYPE_LONG, 0);
std::vector<DeclaredField> g_mov_fields = MakeFields("MOV", TYPE_DECIMAL, 2);
std::vector<DeclaredKey> g_in_keys = MakeKeys("IN", &REELBIN1);
std::vector<DeclaredKey> g_mov_keys = MakeKeys("MOV", &REELBIN2);

DeclaredFile MakeFile(const char* label, FileNameText& name, uint8_t attributes,
                      std::vector<DeclaredField>& fields, std::vector<DeclaredKey>& keys,
                      uint8_t* buffer) {
  DeclaredFile file;
  file.label = label;
  file.entry = &EngineEntry;
  file.name = DeclaredText{name.data(), static_cast<int32_t>(name.size())};
  file.attributes = attributes;
  file.record_length = kCatalogueRecordLength;
  file.record = &fields;
  file.keys = &keys;
  file.record_buffer = buffer;
  return file;
}

// CLEAR of a record: text fields blank, every other byte zero.
void ClearRecord(const std::vector<DeclaredField>& fields, uint8_t* buffer) {
  std::memset(buffer, 0, kCatalogueRecordLength);
  for (const DeclaredField& field : fields) {
    if (field.type == TYPE_STRING) std::memset(buffer + field.offset, ' ', field.element_size);
  }
}

}  // namespace

FileNameText SourceName;
FileNameText TargetName;
FileNameText SourceNameBack;
uint32_t Count = 0;
std::array<uint8_t, kCatalogueRecordLength> InRecord;
std::array<uint8_t, kCatalogueRecordLength> MovRecord;

DeclaredFile REELBIN1 = MakeFile("REELBIN1", SourceName, 0, g_in_fields, g_in_keys, InRecord.data());
DeclaredFile REELBIN2 =
    MakeFile("REELBIN2", TargetName, DECL_CREATE, g_mov_fields, g_mov_keys, MovRecord.data());

void StartProgram() {
  SourceName.fill(' ');
  TargetName.fill(' ');
  SourceNameBack.fill(' ');
  ClearRecord(g_in_fields, InRecord.data());
  ClearRecord(g_mov_fields, MovRecord.data());
  Count = 0;
}

void SetFileName(FileNameText& variable, std::string_view text) {
  variable.fill(' ');
  std::copy_n(text.begin(), std::min(text.size(), variable.size()), variable.begin());
}

std::string_view FileNameOf(const FileNameText& variable) {
  std::string_view text(variable.data(), variable.size());
  size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

}  // namespace vantrose
