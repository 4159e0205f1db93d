// Zones: slot allocation arithmetic, freeing slots, pages that change size.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/storage/page.h"
#include "engine/storage/zones.h"
#include "tests/storage/tree_fixture.h"

namespace vantrose::testing {
namespace {

class ZonesTest : public StoreTest {
 protected:
  // A writer on a new file whose zone table is set by hand (no pages are
  // involved as long as nothing has to move).
  FileStore& WithZones(const std::vector<std::pair<int32_t, int32_t>>& zones) {
    FileStore& store = OpenForWriting();
    for (int z = 0; z <= kMaxZone; ++z) {
      const auto [start, end] = z < int(zones.size()) ? zones[z] : zones.back();
      store.header.zone_start[z] = z == 0 ? 0 : start;
      store.header.zone_end[z] = z == 0 ? 0 : end;
    }
    return store;
  }

  // First key of every leaf -> its page number (leaves reached from the root).
  std::map<uint32_t, int32_t> LeafNumbers() {
    std::map<uint32_t, int32_t> numbers;
    RecordNode* at = FindExact(store(), {});
    while (at != nullptr) {
      const LeafPosition leaf = FindForCursor(store(), at->key());
      const RecordNode* first = leaf.leaf->records.First();
      numbers[first->total_length() == 0 ? 0 : KeyNumber(first)] = leaf.leaf->number;
      at = FindNext(store(), *leaf.leaf->records.Last());
    }
    return numbers;
  }

  // 20 or so one-block leaves under a one-block root, all in zone 1.
  void BuildZoneOneTree() {
    FileStore& store = OpenForWriting();
    for (uint32_t n = 1; n <= 200; ++n) Insert(store, MakeRecord(n * 10, 196));
    ASSERT_EQ(Commit(store), 0);
    ASSERT_GE(store.header.zone_end[1], 10);
  }
};

TEST_F(ZonesTest, AllocationTakesFreeBlocksJustBelowTheZone) {
  // Zone 2 empty at [2, 2), zone 3 and above empty at [5, 5): three free blocks.
  FileStore& store = WithZones({{0, 0}, {0, 0}, {2, 2}, {5, 5}});
  EXPECT_EQ(AllocateSlot(store, 3), 2);
  EXPECT_EQ(store.header.zone_start[3], 2);
  EXPECT_EQ(store.header.zone_end[3], 5);
  EXPECT_EQ(store.header.zone_start[4], 5);
  Abandon(store);
}

TEST_F(ZonesTest, AllocationWithoutRoomBelowAppendsAndPushesHigherZonesUp) {
  FileStore& store = WithZones({{0, 0}});
  EXPECT_EQ(AllocateSlot(store, 3), 0);
  EXPECT_EQ(store.header.zone_end[3], 3);
  for (int z = 4; z <= kMaxZone; ++z) {
    EXPECT_EQ(store.header.zone_start[z], 3) << z;
    EXPECT_EQ(store.header.zone_end[z], 3) << z;
  }
  Abandon(store);
}

TEST_F(ZonesTest, EmptyZoneSlidesDownWithoutMovingAnyPage) {
  // Four free blocks below an empty zone 2; zone 3 right above it.
  FileStore& store = WithZones({{0, 0}, {0, 0}, {4, 4}, {4, 4}});
  EXPECT_EQ(AllocateSlot(store, 3), 1);
  EXPECT_EQ(store.header.zone_start[2], 0);
  EXPECT_EQ(store.header.zone_end[2], 0);
  EXPECT_EQ(store.header.zone_start[3], 1);
  Abandon(store);
}

TEST_F(ZonesTest, FreeingASlotInTheMiddleMovesTheZonesLastPageIntoIt) {
  BuildZoneOneTree();
  FileStore& store = this->store();
  std::map<uint32_t, int32_t> before = LeafNumbers();
  const int32_t last = store.header.zone_end[1] - 1;
  // A leaf that is neither the zone's last page nor the first leaf.
  auto victim = std::next(before.begin(), 3);
  ASSERT_NE(victim->second, last);
  const int32_t freed = victim->second;
  uint32_t last_first_key = 0;
  for (const auto& [key, number] : before) {
    if (number == last) last_first_key = key;
  }
  const uint32_t victim_end = std::next(victim)->first;
  for (uint32_t key = victim->first; key < victim_end; key += 10) Delete(store, FindExact(store, Key(key)));

  EXPECT_EQ(store.header.zone_end[1], last);
  std::map<uint32_t, int32_t> after = LeafNumbers();
  EXPECT_EQ(after.count(victim->first), 0u);
  EXPECT_EQ(after[last_first_key], freed);
  ASSERT_EQ(Commit(store), 0);
  EXPECT_TRUE(Problems().empty());
}

TEST_F(ZonesTest, FreeingTheZonesLastPageOnlyShortensTheZone) {
  BuildZoneOneTree();
  FileStore& store = this->store();
  std::map<uint32_t, int32_t> before = LeafNumbers();
  const int32_t last = store.header.zone_end[1] - 1;
  auto victim = before.begin();
  while (victim->second != last) ++victim;
  ASSERT_NE(victim, before.begin());
  const uint32_t victim_end = std::next(victim) == before.end() ? 2001 : std::next(victim)->first;
  for (uint32_t key = victim->first; key < victim_end; key += 10) Delete(store, FindExact(store, Key(key)));

  EXPECT_EQ(store.header.zone_end[1], last);
  before.erase(victim);
  EXPECT_EQ(LeafNumbers(), before);
  ASSERT_EQ(Commit(store), 0);
  EXPECT_TRUE(Problems().empty());
}

TEST_F(ZonesTest, PageGrowingToTwoBlocksMovesToZoneTwoAndItsSlotIsRefilled) {
  BuildZoneOneTree();
  FileStore& store = this->store();
  const std::map<uint32_t, int32_t> before = LeafNumbers();
  const int32_t last = store.header.zone_end[1] - 1;
  auto grower = std::next(before.begin(), 2);
  ASSERT_NE(grower->second, last);
  const int32_t old_slot = grower->second;
  uint32_t last_first_key = 0;
  for (const auto& [key, number] : before) {
    if (number == last) last_first_key = key;
  }
  // A record that does not compress makes the leaf need a second block.
  Insert(store, MakeNoisyRecord(grower->first + 5, 300));
  ASSERT_EQ(Commit(store), 0);

  const std::map<uint32_t, int32_t> after = LeafNumbers();
  EXPECT_EQ(ZoneOf(store, after.at(grower->first)), 2);
  EXPECT_EQ(after.at(last_first_key), old_slot);
  EXPECT_EQ(store.header.zone_end[1], last);
  EXPECT_TRUE(Problems().empty());
}

// A leaf read only to be moved keeps its image as read; a later change of
// its records in the same commit must still reach the disk, and a leaf moved
// untouched must read back whole.
TEST_F(ZonesTest, LeafMovedFromAColdCacheKeepsItsRecordsAndLaterChanges) {
  for (const bool change_after_move : {false, true}) {
    SCOPED_TRACE(change_after_move);
    BuildZoneOneTree();
    Close();
    FileStore& store = OpenForWriting();  // nothing cached: the move reads the leaf
    const std::map<uint32_t, int32_t> before = LeafNumbers();
    const int32_t last = store.header.zone_end[1] - 1;
    Close();
    OpenForWriting();
    auto victim = std::next(before.begin(), 3);
    auto moved = before.begin();
    while (moved->second != last) ++moved;
    ASSERT_NE(victim, moved);
    const uint32_t victim_end = std::next(victim)->first;
    for (uint32_t key = victim->first; key < victim_end; key += 10) Delete(this->store(), FindExact(this->store(), Key(key)));
    if (change_after_move) Insert(this->store(), MakeRecord(moved->first + 5, 100));
    ASSERT_EQ(Commit(this->store()), 0);
    EXPECT_TRUE(Problems().empty());
    Close();
    Open();
    const std::vector<uint32_t> keys = AllKeys();
    std::vector<uint32_t> expected;
    for (uint32_t n = 1; n <= 200; ++n) {
      if (n * 10 < victim->first || n * 10 >= victim_end) expected.push_back(n * 10);
      if (change_after_move && n * 10 == moved->first) expected.push_back(n * 10 + 5);
    }
    EXPECT_EQ(keys, expected);
    EXPECT_TRUE(HasContent(FindExact(this->store(), Key(moved->first)), moved->first, 196));
    Close();
    std::filesystem::remove(path_);
  }
}

}  // namespace
}  // namespace vantrose::testing
