// A generator of version-2 catalogues for demonstrations, tests and
// benchmarks: seeded, so a seed and a record count always give the same
// file's records.
//
// Records look like a collector's: titles, artists, genres, media, labels,
// shelf locations, creation stamps, prices and values, a track list of a few
// hundred characters, and many fields left blank (lending, notes, custom
// fields), as in real catalogues.
//
// Offers: FillSampleRecord, WriteSampleCatalogue. Needs: the converter's
// version-2 declaration (app/declarations.h) and the engine entry.
#pragma once

#include <cstdint>
#include <string>

namespace vantrose {

// Writes record number `index` (0-based) of the sample of `seed` into
// `record` (kCatalogueRecordLength bytes, version-2 layout).
void FillSampleRecord(uint64_t seed, uint32_t index, uint8_t* record);

// Creates (or replaces) the catalogue at `path` with `records` sample
// records, written through the engine with the version-2 declaration and its
// keys built as the product keeps them. Answers 0 or the first error code.
int32_t WriteSampleCatalogue(const std::string& path, uint32_t records, uint64_t seed);

}  // namespace vantrose
