// The converter's static data: the two declared files (the version-2 source
// REELBIN1 and the version-3 target REELBIN2) with their fields, keys and
// record buffers, the three file-name variables and the record count.
//
// Record layout of both versions (9,301 bytes, no gaps; all offsets in bytes):
//
//   0 TITLE      STRING(100)   120 BUYPRICE  v2 LONG / v3 DECIMAL(7,2)
//  100 LENDDATE  STRING(20)    124 GIVENTO   STRING(50) ... 589 VALUE (as BUYPRICE)
// 1123 DELETED   BYTE         1124 CREATED   GROUP { CREATEDDATE LONG, CREATEDTIME LONG }
// 1132 CHANGED   GROUP { CHANGEDDATE LONG, CHANGEDTIME LONG }
// 1270 LISTBYSTARS BYTE       1271 CONTENTS  STRING(3000)  4271 RATING STRING(30)
// 4301 SONGS     STRING(5000)
//
// (the full field and key lists are in declarations.cc). LONG is signed
// 32-bit little-endian; DECIMAL(7,2) is packed decimal, sign nibble first
// (0x0 positive, 0xF negative), then seven digits of which two are places.
//
// The engine writes only the references it owns into these declarations (the
// file's state, each key's descriptor); nothing else changes at run time.
#pragma once

#include <array>
#include <cstdint>

#include "runtime/declared.h"

namespace vantrose {

constexpr uint32_t kCatalogueRecordLength = 9301;
constexpr size_t kFileNameLength = 260;
// The two money fields, LONG in version 2 and DECIMAL(7,2) in version 3.
constexpr uint32_t kBuyPriceOffset = 120;
constexpr uint32_t kValueOffset = 589;
constexpr uint32_t kMoneyWidth = 4;

// A fixed-length file-name variable, blank-padded, no terminator.
using FileNameText = std::array<char, kFileNameLength>;

extern FileNameText SourceName;      // chosen in the first dialog; REELBIN1's name
extern FileNameText TargetName;      // chosen in the second dialog; REELBIN2's name
extern FileNameText SourceNameBack;  // the backup path
extern uint32_t Count;               // records converted so far

// IN:RECORD and MOV:RECORD.
extern std::array<uint8_t, kCatalogueRecordLength> InRecord;
extern std::array<uint8_t, kCatalogueRecordLength> MovRecord;

extern DeclaredFile REELBIN1;  // source, version 2, no CREATE attribute
extern DeclaredFile REELBIN2;  // target, version 3, CREATE attribute

// Program start-up: blank names, cleared record buffers (blank text, zero
// numbers), Count 0. The declared files keep their engine entry.
void StartProgram();

// `text` into a fixed-length variable, blank-padded. The caller makes sure
// that it fits (a cut file name would name another file).
void SetFileName(FileNameText& variable, std::string_view text);
// The variable's text without its trailing blanks.
std::string_view FileNameOf(const FileNameText& variable);

}  // namespace vantrose
