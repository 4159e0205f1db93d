#include "engine/table/key_maintenance.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/storage/corruption.h"
#include "engine/storage/page_tree.h"
#include "engine/table/key_value.h"
#include "engine/table/record_kinds.h"
#include "engine/table/statistics.h"
#include "platform/code_page.h"
#include "record_kinds_store.h"
#include "runtime/declared.h"
#include "tests/table/twenty_byte_record.h"

namespace vantrose {
namespace {

using Entries = std::vector<Bytes>;  // every index entry of the table, in order

constexpr uint32_t kTable = 9;

// The records are those of twenty_byte_record.h.
class KeyMaintenanceTest : public TableFileTest {
 protected:
  void SetUp() override {
    TableFileTest::SetUp();
    MarkEngineOperationInProgress();  // a corruption report fails the test, not the run
  }

  // The default table:
  //   key 0  number               DUP (kept for blank values)
  //   key 1  name                 unique, OPT, NOCASE
  //   key 2  code, name           DUP, OPT
  //   key 3  name                 INDEX (built on request only)
  //   key 4  (none)               dynamic index
  //   key 5  tag                  unique, OPT
  void DefineDefault() {
    Define({{KEY_DUP, {1}},
            {KEY_OPT | KEY_NOCASE, {0}},
            {KEY_DUP | KEY_OPT, {2, 0}},
            {KEY_INDEX | KEY_DUP, {0}},
            {KEY_DYNAMIC | KEY_DUP | KEY_OPT, {}},
            {KEY_OPT, {3}}});
  }

  // Once per test: the statistics records are written here.
  void Define(const std::vector<KeySpec>& keys) {
    state_.table_number = kTable;
    state_.record_length = kRecordLength;
    DefineFields(state_);
    DefineKeys(state_, keys);
    WriteFreshStatistics(state_);
  }

  int32_t Add(const Bytes& image, uint32_t record) {
    return MaintainKeys(state_, image, {}, record, false, state_.keys.size());
  }
  int32_t Put(const Bytes& new_image, const Bytes& old_image, uint32_t record) {
    return MaintainKeys(state_, new_image, old_image, record, false, state_.keys.size());
  }
  void Delete(const Bytes& image, uint32_t record) {
    ASSERT_EQ(MaintainKeys(state_, {}, image, record, false, state_.keys.size()), 0);
  }
  int32_t Append(const Bytes& image, uint32_t record) {
    return MaintainKeys(state_, image, {}, record, true, state_.keys.size());
  }

  // Every index entry of the table (key and data bytes), in tree order.
  Entries AllEntries() {
    Entries entries;
    uint8_t prefix[kTablePrefixLength];
    TablePrefixKey(prefix, kTable, 0);
    RecordNodePtr probe = RecordNode::FromBytes(KeyBytes(prefix, 4));
    for (const RecordNode* record = FindNext(store_, *probe);
         record != nullptr && KeyTable(record->bytes()) == kTable &&
         IsIndexKind(KeyKind(record->bytes()));
         record = FindNext(store_, *probe)) {
      entries.emplace_back(record->all().begin(), record->all().end());
      probe = RecordNode::KeyCopy(*record);
    }
    return entries;
  }
  Entries EntriesOf(uint8_t key_number) {
    Entries all = AllEntries(), of_key;
    for (const Bytes& entry : all) {
      if (entry[kKindOffset] == key_number) of_key.push_back(entry);
    }
    return of_key;
  }
  std::vector<uint32_t> Counts() {
    std::vector<uint32_t> counts;
    for (size_t i = 0; i < state_.keys.size(); ++i) counts.push_back(ReadCount(state_, uint8_t(i)));
    return counts;
  }
  // Each key's count equals the number of its entries.
  void ExpectCountsMatchEntries() {
    for (size_t i = 0; i < state_.keys.size(); ++i) {
      if (state_.keys[i].flags & KEY_DYNAMIC) continue;
      EXPECT_EQ(ReadCount(state_, uint8_t(i)), EntriesOf(uint8_t(i)).size()) << "key " << i;
    }
  }
  uint32_t RecordOf(const Bytes& entry) { return LoadBE32(entry.data() + entry.size() - 4); }
};

TEST_F(KeyMaintenanceTest, AddMakesOneEntryPerMaintainedKey) {
  DefineDefault();
  ASSERT_EQ(Add(Image("Alpha", 7, "X1", "t"), 100), 0);
  // Keys 0, 1, 2 and 5; not the INDEX, not the dynamic index.
  EXPECT_EQ(Counts(), (std::vector<uint32_t>{1, 1, 1, 0, 0, 1}));
  ExpectCountsMatchEntries();
  for (uint8_t key : {0, 1, 2, 5}) {
    const Entries entries = EntriesOf(key);
    ASSERT_EQ(entries.size(), 1u) << int(key);
    EXPECT_EQ(RecordOf(entries[0]), 100u);
  }
  EXPECT_EQ(FirstNotIndexed(state_, 3), 100u);  // the INDEX is to be built from here
  EXPECT_EQ(FirstNotIndexed(state_, 0), 0u);
  // The entries are exactly what FormEntry makes.
  RecordNodePtr expected = FormEntry(state_, state_.keys[1], Image("Alpha", 7, "X1", "t"));
  SetEntryRecordNumber(*expected, 100);
  EXPECT_EQ(EntriesOf(1)[0], Bytes(expected->all().begin(), expected->all().end()));
}

TEST_F(KeyMaintenanceTest, BlankRecordsGetNoEntryInOptionalKeys) {
  DefineDefault();
  ASSERT_EQ(Add(Image("", 0, "", ""), 1), 0);
  // Only key 0 (not OPT) takes the blank record.
  EXPECT_EQ(Counts(), (std::vector<uint32_t>{1, 0, 0, 0, 0, 0}));
  ExpectCountsMatchEntries();
  // A second blank record is no duplicate of the first in the unique keys.
  ASSERT_EQ(Add(Image("", 0, "", ""), 2), 0);
  EXPECT_EQ(Counts()[0], 2u);
}

TEST_F(KeyMaintenanceTest, DuplicateValuesLieInRecordNumberOrder) {
  DefineDefault();
  for (uint32_t record : {30u, 10u, 20u}) {
    ASSERT_EQ(Add(Image("n" + std::to_string(record), 5, "C", "t" + std::to_string(record)), record), 0);
  }
  const Entries entries = EntriesOf(0);  // all value 5
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(RecordOf(entries[0]), 10u);
  EXPECT_EQ(RecordOf(entries[1]), 20u);
  EXPECT_EQ(RecordOf(entries[2]), 30u);
}

TEST_F(KeyMaintenanceTest, AddOfAUniqueValueThatExistsFailsWithoutTrace) {
  DefineDefault();
  ASSERT_EQ(Add(Image("Alpha", 1, "A", "a"), 1), 0);
  const Entries before = AllEntries();
  const std::vector<uint32_t> counts = Counts();
  // Key 1 ignores case: "ALPHA" is the value of record 1.
  EXPECT_EQ(Add(Image("ALPHA", 2, "B", "b"), 2), kCreatesDuplicateKey);
  EXPECT_EQ(AllEntries(), before);
  EXPECT_EQ(Counts(), counts);
  // The last key, after every other changed.
  EXPECT_EQ(Add(Image("Beta", 2, "B", "a"), 2), kCreatesDuplicateKey);
  EXPECT_EQ(AllEntries(), before);
  EXPECT_EQ(Counts(), counts);
  EXPECT_EQ(FirstNotIndexed(state_, 3), 1u);  // lowered for record 1 only
}

TEST_F(KeyMaintenanceTest, PutTouchesOnlyTheKeysWhoseValueChanged) {
  DefineDefault();
  const Bytes one = Image("One", 1, "C1", "t1"), two = Image("Two", 2, "C2", "t2");
  ASSERT_EQ(Add(one, 1), 0);
  ASSERT_EQ(Add(two, 2), 0);
  const Entries before = AllEntries();

  // Only the code changes: only key 2 (code, name) changes.
  const Bytes changed = Image("One", 1, "Z9", "t1");
  ASSERT_EQ(Put(changed, one, 1), 0);
  const Entries after = AllEntries();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) {
    if (after[i][kKindOffset] != 2) {
      EXPECT_TRUE(std::find(before.begin(), before.end(), after[i]) != before.end());
    }
  }
  Entries key2_before;
  for (const Bytes& entry : before) {
    if (entry[kKindOffset] == 2) key2_before.push_back(entry);
  }
  EXPECT_NE(EntriesOf(2), key2_before);
  ExpectCountsMatchEntries();

  // A change of case in a NOCASE key leaves its entry alone too.
  const Entries key1 = EntriesOf(1);
  ASSERT_EQ(Put(Image("ONE", 1, "Z9", "t1"), changed, 1), 0);
  EXPECT_EQ(EntriesOf(1), key1);

  // Unchanged: nothing at all.
  const Entries same = AllEntries();
  ASSERT_EQ(Put(Image("ONE", 1, "Z9", "t1"), Image("ONE", 1, "Z9", "t1"), 1), 0);
  EXPECT_EQ(AllEntries(), same);
}

TEST_F(KeyMaintenanceTest, PutThatDuplicatesTheSixthKeyRestoresTheFirstFive) {
  // Keys 0-4 all follow the name; key 5 is unique on the tag.
  Define({{KEY_DUP, {0}}, {KEY_DUP | KEY_NOCASE, {0}}, {KEY_DUP, {0, 1}}, {KEY_DUP | KEY_OPT, {0, 2}},
          {KEY_OPT, {0}}, {KEY_OPT, {3}}});
  const Bytes first = Image("First", 1, "A", "one"), second = Image("Second", 2, "B", "two");
  ASSERT_EQ(Add(first, 1), 0);
  ASSERT_EQ(Add(second, 2), 0);
  const Entries before = AllEntries();
  const std::vector<uint32_t> counts = Counts();

  EXPECT_EQ(Put(Image("Renamed", 2, "B", "one"), second, 2), kCreatesDuplicateKey);
  EXPECT_EQ(AllEntries(), before);
  EXPECT_EQ(Counts(), counts);

  // The same change without the collision goes through on every key.
  ASSERT_EQ(Put(Image("Renamed", 2, "B", "three"), second, 2), 0);
  for (uint8_t key = 0; key < 6; ++key) EXPECT_NE(EntriesOf(key), Entries{}) << int(key);
  ExpectCountsMatchEntries();
}

TEST_F(KeyMaintenanceTest, UndoLeavesAnEntryThatWasMissingMissing) {
  Define({{KEY_DUP, {0}}, {KEY_OPT, {3}}});
  const Bytes first = Image("First", 1, "A", "one"), second = Image("Second", 2, "B", "two");
  ASSERT_EQ(Add(first, 1), 0);
  ASSERT_EQ(Add(second, 2), 0);
  // Damage: record 2's key-0 entry is gone (the count still says 2).
  RecordNodePtr lost = FormEntry(state_, state_.keys[0], second);
  SetEntryRecordNumber(*lost, 2);
  vantrose::Delete(store_, FindExact(store_, lost->key()));
  const Entries before = AllEntries();

  EXPECT_EQ(Put(Image("Other", 2, "B", "one"), second, 2), kCreatesDuplicateKey);
  EXPECT_EQ(AllEntries(), before);
  EXPECT_EQ(Counts(), (std::vector<uint32_t>{2, 2}));
}

TEST_F(KeyMaintenanceTest, DeleteRemovesTheRecordsEntriesAndPassesOverMissingOnes) {
  DefineDefault();
  const Bytes one = Image("One", 1, "C1", "t1"), two = Image("Two", 2, "C2", "t2");
  ASSERT_EQ(Add(one, 1), 0);
  ASSERT_EQ(Add(two, 2), 0);
  Delete(one, 1);
  for (const Bytes& entry : AllEntries()) EXPECT_EQ(RecordOf(entry), 2u);
  ExpectCountsMatchEntries();
  // Deleting again finds nothing to delete and changes no count.
  const std::vector<uint32_t> counts = Counts();
  Delete(one, 1);
  EXPECT_EQ(Counts(), counts);
  // An entry of the same unique value held by another record is not taken.
  Delete(Image("Two", 9, "C9", "t2"), 9);
  EXPECT_EQ(EntriesOf(1).size(), 1u);
  EXPECT_EQ(EntriesOf(5).size(), 1u);
}

// A table whose text is stored in the OEM code page reads back as the OEM
// text converted to ANSI, which loses what code page 437 lacks (an A with a
// grave accent comes back as a plain A). Keys are formed from the OEM form,
// so the record as read back still finds every entry it was given.
TEST_F(KeyMaintenanceTest, OemTableDeletesWhatItAddedFromTheTextAsReadBack) {
  DefineDefault();
  state_.attributes |= ATTR_OEM;
  const Bytes added = Image("\xC0la \xE9t\xE9", 3, "\xC7\xC8", "\xD8");
  Bytes read_back = added;
  AnsiToOem(read_back.data(), read_back.size());
  OemToAnsi(read_back.data(), read_back.size());
  ASSERT_NE(read_back, added);
  ASSERT_EQ(Add(added, 1), 0);
  ASSERT_FALSE(AllEntries().empty());
  Delete(read_back, 1);
  EXPECT_EQ(AllEntries(), Entries{});
  ExpectCountsMatchEntries();
}

TEST_F(KeyMaintenanceTest, AppendTouchesNoEntryAndMarksEveryKeyFromTheFirstRecord) {
  DefineDefault();
  ASSERT_EQ(Add(Image("One", 1, "C1", "t1"), 1), 0);
  SetFirstNotIndexed(state_, 3, 0);  // as after a build of the INDEX
  const Entries before = AllEntries();
  const std::vector<uint32_t> counts = Counts();
  for (uint32_t record : {5u, 6u, 7u}) {
    // Equal values of the unique keys are no error while appending.
    ASSERT_EQ(Append(Image("One", 1, "C1", "t1"), record), 0);
  }
  EXPECT_EQ(AllEntries(), before);
  EXPECT_EQ(Counts(), counts);
  for (uint8_t key : {0, 1, 2, 3, 5}) EXPECT_EQ(FirstNotIndexed(state_, key), 5u) << int(key);
  // ADD still maintains the keys (a build from the mark drops what is
  // there already), except the INDEX, which is left to its build.
  ASSERT_EQ(Add(Image("Nine", 9, "C9", "t9"), 9), 0);
  EXPECT_EQ(EntriesOf(0).size(), 2u);
  EXPECT_EQ(EntriesOf(3).size(), 0u);
  EXPECT_EQ(FirstNotIndexed(state_, 3), 5u);
}

TEST_F(KeyMaintenanceTest, DuplicateQuestions) {
  DefineDefault();
  const Bytes one = Image("One", 1, "C1", "t1");
  ASSERT_EQ(Add(one, 1), 0);
  const KeyDescriptor& by_name = state_.keys[1];  // unique, NOCASE
  const KeyDescriptor& by_code = state_.keys[2];  // DUP
  EXPECT_TRUE(WouldDuplicateKey(state_, by_name, Image("ONE", 5, "Q", "q"), 0));
  EXPECT_FALSE(WouldDuplicateKey(state_, by_name, one, 1));  // the record itself
  EXPECT_FALSE(WouldDuplicateKey(state_, by_name, Image("Uno", 5, "Q", "q"), 0));
  EXPECT_FALSE(WouldDuplicateKey(state_, by_code, one, 0));  // duplicates allowed
  EXPECT_FALSE(WouldDuplicateKey(state_, by_name, Image("", 1, "C1", ""), 0));  // blank

  EXPECT_TRUE(WouldDuplicateAnyKey(state_, Image("Uno", 5, "Q", "t1"), 0));  // the tag
  EXPECT_FALSE(WouldDuplicateAnyKey(state_, Image("Uno", 5, "Q", "t2"), 0));

  // The operations exclude the current record: the one just read is no
  // duplicate of itself, a new record is.
  Bytes buffer = one;
  state_.record_buffer = buffer.data();
  OperationContext file{state_, 12, nullptr, {}, {}, {}, 0, {}};
  OperationContext key{state_, 57, &state_.keys[1], {}, {}, {}, 0, {}};
  state_.current_record = 1;
  EXPECT_EQ(DuplicateOperation(file), 0);
  EXPECT_EQ(file.result, 0);
  EXPECT_EQ(DuplicateKeyOperation(key), 0);
  EXPECT_EQ(key.result, 0);
  state_.current_record = 0;
  DuplicateOperation(file);
  DuplicateKeyOperation(key);
  EXPECT_EQ(file.result, 1);
  EXPECT_EQ(key.result, 1);
}

}  // namespace
}  // namespace vantrose
