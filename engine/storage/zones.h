// Page slot zones: where each page lies in the file.
//
// All pages of i blocks (i = 1..59) lie back to back in zone i, the page
// numbers [start[i], end[i]) of the header's zone table; zones lie in order
// of size through the file and free space exists only as gaps between them:
//
//   block 0                                                       data end
//   | zone 1: 1-block pages | gap | zone 2 | gap | zone 3 | ... | zone 59 |
//
// Invariants: start[0] = end[0] = start[1] = 0; start[i] <= end[i] and
// end[i] - start[i] is a multiple of i; end[i] <= start[i + 1]; every placed
// page lies in the zone of its image size. There is no free list: the 120
// numbers of the table describe all placement.
//
// Every move marks the moved page and the parent holding its entry changed,
// so that the running commit writes both at their new places. Moves happen
// only in writer mode: in a commit's placing and compaction, and when a
// delete frees a page.
#pragma once

#include <cstdint>

namespace vantrose {

class FileStore;
class Page;

// Gives page `from` the number `to`, and its parent entry (or the header's
// root page) with it. Reports 1891 (page without records) and 1894 (parent
// entry not found).
void MovePage(FileStore& store, int32_t from, int32_t to);

// A free slot of zone z, made below the zone (sliding lower zones down) when
// possible, else at its top (pushing higher zones up).
int32_t AllocateSlot(FileStore& store, int z);

// Gives back the slot of page p: the zone's last page moves into it.
void FreeSlot(FileStore& store, int32_t p);

// Puts a page into zone z (its image size in blocks) unless it lies there.
void PlacePage(FileStore& store, Page& page, int z);

// Closes the gaps below every zone that one of its pages would fill.
void CompactZones(FileStore& store);

}  // namespace vantrose
