#include "engine/storage/zones.h"

#include "engine/storage/corruption.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_tree.h"

namespace vantrose {

namespace {

// Check codes.
constexpr uint32_t kCheckMovedPageEmpty = 1891;
constexpr uint32_t kCheckParentEntryMissing = 1894;
constexpr uint32_t kCheckRoomAboveTooLarge = 1781;

int32_t& Start(FileStore& store, int z) { return store.header.zone_start[z]; }
int32_t& End(FileStore& store, int z) { return store.header.zone_end[z]; }
int32_t Length(FileStore& store, int z) { return End(store, z) - Start(store, z); }

// Makes the gap between end[a] and start[a + 1] at least b blocks by sliding
// zone a, and if need be the zones below it, downwards. Zone 1 never moves.
bool MakeRoomBelow(FileStore& store, int a, int32_t b) {
  if (a == 0) return false;
  const int32_t gap = Start(store, a + 1) - End(store, a);
  if (gap >= b) return true;
  const int32_t need = (b - gap + a - 1) / a * a;
  if (!MakeRoomBelow(store, a - 1, need)) return false;
  while (Start(store, a + 1) - End(store, a) < b) {
    // An empty zone slides without moving anything; the last page of a
    // zone that holds pages moves into the slot below its first.
    if (Length(store, a) > 0) MovePage(store, End(store, a) - a, Start(store, a) - a);
    Start(store, a) -= a;
    End(store, a) -= a;
  }
  return true;
}

// Makes the gap between end[z] and start[z + 1] at least b blocks (b <= z)
// by pushing the zones above upwards; zone 59 is last and the file grows.
void MakeRoomAbove(FileStore& store, int z, int32_t b) {
  if (b > z) ReportCorruption(kCheckRoomAboveTooLarge);
  if (z >= kMaxZone) return;
  const int32_t gap = Start(store, z + 1) - End(store, z);
  if (gap >= b) return;
  const int n = z + 1;
  int32_t shift;
  if (Length(store, n) > n) {
    // Several pages: the first moves to just past the last.
    MakeRoomAbove(store, n, n);
    MovePage(store, Start(store, n), End(store, n));
    shift = n;
  } else {
    shift = b - gap;
    MakeRoomAbove(store, n, shift);
    if (Length(store, n) == n) MovePage(store, Start(store, n), Start(store, n) + shift);
  }
  Start(store, n) += shift;
  End(store, n) += shift;
}

}  // namespace

void MovePage(FileStore& store, int32_t from, int32_t to) {
  if (from == to) return;
  Page* page = store.cache.GetForMove(from);
  store.cache.MarkChanged(*page);
  store.cache.Renumber(*page, to);
  if (from == store.header.root_page) {
    store.header.root_page = to;
    return;
  }
  KeyBytes key(page->first_key.data(), page->first_key.size());
  if (page->loaded) {
    const RecordNode* first = page->records.First();
    if (first == nullptr) ReportCorruption(kCheckMovedPageEmpty);
    key = first->key();
  }
  Page* at = store.cache.Get(store.header.root_page);
  for (;;) {
    if (at->level <= page->level) ReportCorruption(kCheckParentEntryMissing);
    RecordNode* entry = at->records.Floor(key);
    if (entry == nullptr) ReportCorruption(kCheckParentEntryMissing);
    if (entry->child_page == from) {
      entry->child_page = to;
      store.cache.MarkChanged(*at);
      return;
    }
    at = ChildPage(store, *at, *entry);
  }
}

int32_t AllocateSlot(FileStore& store, int z) {
  if (MakeRoomBelow(store, z - 1, z)) {
    Start(store, z) -= z;
    return Start(store, z);
  }
  MakeRoomAbove(store, z, z);
  const int32_t slot = End(store, z);
  End(store, z) += z;
  return slot;
}

void FreeSlot(FileStore& store, int32_t p) {
  const int z = ZoneOf(store, p);
  if (z == 0) return;
  MovePage(store, End(store, z) - z, p);
  End(store, z) -= z;
}

void PlacePage(FileStore& store, Page& page, int z) {
  const int current = ZoneOf(store, page.number);
  if (current == z) return;
  if (current != 0) {
    const int32_t old_number = page.number;
    MovePage(store, old_number, store.cache.NextTemporary());
    FreeSlot(store, old_number);
  }
  MovePage(store, page.number, AllocateSlot(store, z));
}

void CompactZones(FileStore& store) {
  for (int z = 2; z <= kMaxZone; ++z) {
    const int32_t length = Length(store, z);
    if (length > z) {
      while (Start(store, z) - End(store, z - 1) >= z) {
        MovePage(store, End(store, z) - z, Start(store, z) - z);
        Start(store, z) -= z;
        End(store, z) -= z;
      }
    } else {
      if (length == z) MovePage(store, Start(store, z), End(store, z - 1));
      Start(store, z) = End(store, z - 1);
      End(store, z) = Start(store, z) + length;
    }
  }
}

}  // namespace vantrose
