// The converter's static data: the two declared files (the version-2 source
// REELBIN1 and the version-3 target REELBIN2) with their fields, keys and
// record buffers, the three file-name variables and the record count.
//
// Record layout, the same in both versions but for the money fields (9,301
// bytes, fields back to back; every field listed in declarations.cc):
//
//   offset  field              version 2       version 3
//        0  TITLE ... LENDDATE  STRING
//      120  BUYPRICE           LONG            DECIMAL(7,2)
//      124  GIVENTO ... MEDIA  STRING
//      589  VALUE              LONG            DECIMAL(7,2)
//      593  LABEL ... GRAPHICFILE  STRING
//     1123  DELETED            BYTE
//     1124  CREATED            GROUP { CREATEDDATE LONG, CREATEDTIME LONG }
//     1132  CHANGED            GROUP { CHANGEDDATE LONG, CHANGEDTIME LONG }
//     1140  ARTISTKEY, TITLEKEY  STRING
//     1270  LISTBYSTARS        BYTE
//     1271  CONTENTS, RATING, SONGS  STRING (SONGS ends at 9301)
//
// STRING is blank-padded without terminator; LONG is signed 32-bit
// little-endian; DECIMAL(7,2) is packed decimal: a sign nibble (0x0 positive,
// 0xF negative), then seven digits of which the last two are places.
//
// The engine writes only the references it owns into these declarations (the
// file's state, each key's descriptor); nothing else changes at run time.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

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
