#include "engine/table/key_build.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/storage/byte_order.h"
#include "engine/storage/corruption.h"
#include "engine/storage/page_tree.h"
#include "engine/table/collation_record.h"
#include "engine/table/key_maintenance.h"
#include "engine/table/key_value.h"
#include "engine/table/record_kinds.h"
#include "engine/table/statistics.h"
#include "platform/temp_file.h"
#include "record_kinds_store.h"
#include "runtime/declared.h"

namespace vantrose {
namespace {

using Bytes = std::vector<uint8_t>;
using Entries = std::vector<Bytes>;

constexpr uint32_t kTable = 7;
// Record layout: name STRING(200) @0, number LONG @200, code STRING(4) @204,
// tag STRING(4) @208. The long name makes a few thousand items pass one
// in-memory batch of the sorter.
constexpr uint32_t kNameSize = 200;
constexpr uint32_t kRecordLength = 212;

Bytes Image(const std::string& name, int32_t number, const std::string& code,
            const std::string& tag = "t") {
  Bytes image(kRecordLength, ' ');
  std::memcpy(image.data(), name.data(), std::min<size_t>(name.size(), kNameSize));
  std::memcpy(image.data() + 200, &number, 4);
  std::memcpy(image.data() + 204, code.data(), std::min<size_t>(code.size(), 4));
  std::memcpy(image.data() + 208, tag.data(), std::min<size_t>(tag.size(), 4));
  return image;
}

// A temporary-file maker that cannot make one: the disk is full.
class FullDisk : public TempFileFactory {
 public:
  int32_t Create(std::unique_ptr<TempFile>*) override { return 112; }
};

class KeyBuildTest : public TableFileTest {
 protected:
  struct KeySpec {
    uint8_t flags;
    std::vector<int> fields;  // 0-based field numbers
  };

  void SetUp() override {
    TableFileTest::SetUp();
    MarkEngineOperationInProgress();  // a corruption report fails the test, not the run
  }

  // The default table:
  //   key 0  number        DUP
  //   key 1  name          unique, OPT, NOCASE
  //   key 2  code, -name   DUP, OPT
  //   key 3  name          INDEX, DUP
  //   key 4  tag           unique, OPT
  void DefineDefault() {
    Define({{KEY_DUP, {1}},
            {KEY_OPT | KEY_NOCASE, {0}},
            {KEY_DUP | KEY_OPT, {2, ~0}},
            {KEY_INDEX | KEY_DUP, {0}},
            {KEY_OPT, {3}}});
  }

  // A negative field number ~n is field n descending.
  void Define(const std::vector<KeySpec>& keys) {
    state_.table_number = kTable;
    state_.record_length = kRecordLength;
    buffer_.assign(kRecordLength, 0);
    state_.record_buffer = buffer_.data();
    state_.fields.resize(4);
    const uint8_t types[] = {TYPE_STRING, TYPE_LONG, TYPE_STRING, TYPE_STRING};
    const uint32_t offsets[] = {0, 200, 204, 208}, sizes[] = {kNameSize, 4, 4, 4};
    for (size_t i = 0; i < 4; ++i) {
      state_.fields[i].type = types[i];
      state_.fields[i].offset = offsets[i];
      state_.fields[i].size = sizes[i];
      state_.fields[i].element_length = sizes[i];
      state_.fields[i].index = uint32_t(i);
    }
    state_.keys.assign(keys.size(), KeyDescriptor{});
    for (size_t i = 0; i < keys.size(); ++i) {
      KeyDescriptor& key = state_.keys[i];
      key.owner = &state_;
      key.number = uint32_t(i);
      key.flags = keys[i].flags;
      for (int field : keys[i].fields) {
        key.components.push_back({&state_.fields[field < 0 ? ~field : field], uint8_t(field < 0)});
      }
    }
    WriteFreshStatistics(state_);
  }

  // Stores a data record as APPEND does: the keys are left behind.
  void Append(const Bytes& image, uint32_t record) {
    uint8_t key[kDataKeyLength];
    DataKey(key, kTable, record);
    Insert(store_, RecordNode::FromBytes(KeyBytes(key, sizeof key), image));
    ASSERT_EQ(MaintainKeys(state_, image, {}, record, true, state_.keys.size()), 0);
    images_.push_back({record, image});
  }

  Entries EntriesOf(uint8_t key_number) {
    Entries entries;
    uint8_t prefix[kTablePrefixLength];
    TablePrefixKey(prefix, kTable, key_number);
    RecordNodePtr probe = RecordNode::FromBytes(KeyBytes(prefix, sizeof prefix));
    for (const RecordNode* record = FindNext(store_, *probe);
         record != nullptr && record->key_length() >= kTablePrefixLength &&
         std::memcmp(record->bytes(), prefix, kTablePrefixLength) == 0;
         record = FindNext(store_, *probe)) {
      entries.emplace_back(record->all().begin(), record->all().end());
      probe = RecordNode::KeyCopy(*record);
    }
    return entries;
  }

  // The entries a complete key holds for the records appended, in order;
  // without KEY_DUP only the lowest record of each value.
  Entries ExpectedEntries(uint8_t key_number) {
    const KeyDescriptor& key = state_.keys[key_number];
    Entries expected;
    for (const auto& [record, image] : images_) {
      if (IsBlankForKey(key, image)) continue;
      Bytes entry(EntryLength(key));
      WriteEntry(state_, key, image, record, entry.data());
      expected.push_back(entry);
    }
    const size_t key_length = EntryKeyLength(key);
    std::stable_sort(expected.begin(), expected.end(), [&](const Bytes& a, const Bytes& b) {
      return std::lexicographical_compare(a.begin(), a.begin() + key_length, b.begin(),
                                          b.begin() + key_length) ||
             (std::equal(a.begin(), a.begin() + key_length, b.begin()) &&
              RecordOf(a) < RecordOf(b));
    });
    expected.erase(std::unique(expected.begin(), expected.end(),
                               [&](const Bytes& a, const Bytes& b) {
                                 return std::equal(a.begin(), a.begin() + key_length, b.begin());
                               }),
                   expected.end());
    return expected;
  }

  void ExpectComplete(uint8_t key_number) {
    const Entries entries = EntriesOf(key_number);
    EXPECT_EQ(entries, ExpectedEntries(key_number)) << "key " << int(key_number);
    EXPECT_EQ(ReadCount(state_, key_number), entries.size()) << "key " << int(key_number);
    EXPECT_EQ(FirstNotIndexed(state_, key_number), 0u) << "key " << int(key_number);
  }

  static uint32_t RecordOf(const Bytes& entry) { return LoadBE32(entry.data() + entry.size() - 4); }

  // A few hundred records with repeated numbers and codes, blank names and
  // tags here and there, appended in an order unlike any key's.
  void AppendMixed(uint32_t first, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t record = first + i;
      const uint32_t scrambled = (record * 7919u) % 1009u;
      const std::string name = record % 11 == 0 ? "" : "Name " + std::to_string(scrambled);
      const std::string tag = record % 5 == 0 ? "" : std::to_string(record);
      Append(Image(name, int32_t(scrambled % 13) - 6, "C" + std::to_string(record % 4), tag), record);
    }
  }

  Bytes buffer_;
  std::vector<std::pair<uint32_t, Bytes>> images_;
};

TEST_F(KeyBuildTest, BuildAllMakesEveryKeyButTheIndexComplete) {
  DefineDefault();
  AppendMixed(1, 300);
  ASSERT_EQ(BuildAll(state_, false), 0);
  for (uint8_t key : {0, 1, 2, 4}) ExpectComplete(key);
  EXPECT_TRUE(EntriesOf(3).empty());
  EXPECT_EQ(FirstNotIndexed(state_, 3), 1u);
  // The record buffer holds the last record that the last key took.
  EXPECT_EQ(buffer_, images_[298].second);  // record 300 has a blank tag
}

TEST_F(KeyBuildTest, CompleteKeysMakeBuildAllWriteNothing) {
  DefineDefault();
  AppendMixed(1, 50);
  ASSERT_EQ(BuildAll(state_, false), 0);
  ASSERT_EQ(Commit(store_), 0);
  ASSERT_FALSE(store_.changed);
  EXPECT_EQ(BuildAll(state_, false), 0);
  EXPECT_FALSE(store_.changed);
}

TEST_F(KeyBuildTest, LaterBuildsAddToTheEntriesAlreadyThere) {
  DefineDefault();
  AppendMixed(1, 200);
  ASSERT_EQ(BuildAll(state_, false), 0);
  // Values of the new records fall between the old ones in every key.
  AppendMixed(201, 250);
  ASSERT_EQ(BuildAll(state_, false), 0);
  for (uint8_t key : {0, 1, 2, 4}) ExpectComplete(key);
}

TEST_F(KeyBuildTest, DuplicateValueKeepsTheLowerRecordAndStopsAtTheHigher) {
  Define({{KEY_DUP, {1}}, {0, {3}}, {KEY_DUP, {2}}});
  Append(Image("a", 1, "x", "same"), 1);
  Append(Image("b", 2, "y", "uniq"), 2);
  Append(Image("c", 3, "z", "same"), 3);
  Append(Image("d", 4, "w", "same"), 4);
  EXPECT_EQ(BuildAll(state_, false), kCreatesDuplicateKey);
  ExpectComplete(0);
  const Entries entries = EntriesOf(1);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(RecordOf(entries[0]), 1u);  // "same"
  EXPECT_EQ(RecordOf(entries[1]), 2u);  // "uniq"
  EXPECT_EQ(ReadCount(state_, 1), 2u);
  EXPECT_EQ(FirstNotIndexed(state_, 1), 3u);
  // As key by key: the key after the failing one is not built.
  EXPECT_TRUE(EntriesOf(2).empty());
  EXPECT_EQ(FirstNotIndexed(state_, 2), 1u);
}

TEST_F(KeyBuildTest, RebuildFromAnEarlierStartDropsTheEntriesAlreadyPresent) {
  DefineDefault();
  AppendMixed(1, 120);
  ASSERT_EQ(BuildAll(state_, false), 0);
  // As after a checkpoint of a build that was cut short.
  for (uint8_t key : {0, 1, 2, 4}) SetFirstNotIndexed(state_, key, 40);
  ASSERT_EQ(BuildAll(state_, false), 0);
  for (uint8_t key : {0, 1, 2, 4}) ExpectComplete(key);
}

TEST_F(KeyBuildTest, FullBuildRebuildsEveryKeyOnce) {
  DefineDefault();
  AppendMixed(1, 80);
  ASSERT_EQ(BuildAll(state_, false), 0);
  // Damage key 1: one entry gone, the count off.
  Entries before = EntriesOf(1);
  Delete(store_, FindExact(store_, KeyBytes(before[5].data(), EntryKeyLength(state_.keys[1]))));
  SetCount(state_, 1, 1000);
  state_.table_flags |= RS_FULLBUILD;
  ASSERT_EQ(BuildAll(state_, false), 0);
  for (uint8_t key : {0, 1, 2, 4}) ExpectComplete(key);
  EXPECT_TRUE(EntriesOf(3).empty());  // still not the INDEX
  // The collation record was written anew.
  uint8_t collation_key[kCollationKeyLength];
  CollationKey(collation_key, kTable);
  EXPECT_NE(FindExact(store_, KeyBytes(collation_key, sizeof collation_key)), nullptr);

  state_.table_flags &= uint16_t(~RS_FULLBUILD);
  ASSERT_EQ(Commit(store_), 0);
  EXPECT_EQ(BuildAll(state_, false), 0);
  EXPECT_FALSE(store_.changed);
  ReleaseCollation(state_);  // as the table's close does
}

TEST_F(KeyBuildTest, IndexIsBuiltOnRequestFromItsFirstNotIndexedRecord) {
  DefineDefault();
  AppendMixed(1, 60);
  ASSERT_EQ(BuildKey(state_, state_.keys[3]), 0);
  ExpectComplete(3);
  // A record changed under the INDEX: the build deletes from there and
  // makes the entries again.
  const Bytes changed = Image("Changed", 1, "C", "x");
  uint8_t key[kDataKeyLength];
  DataKey(key, kTable, 30);
  Delete(store_, FindExact(store_, KeyBytes(key, sizeof key)));
  Insert(store_, RecordNode::FromBytes(KeyBytes(key, sizeof key), changed));
  images_[29].second = changed;
  LowerFirstNotIndexed(state_, 3, 30);
  ASSERT_EQ(BuildKey(state_, state_.keys[3]), 0);
  ExpectComplete(3);
}

TEST_F(KeyBuildTest, KeyWithoutComponentsHasNothingToBuild) {
  Define({{KEY_DUP, {}}});
  Append(Image("a", 1, "x"), 1);
  EXPECT_EQ(BuildKey(state_, state_.keys[0]), 0);
  EXPECT_TRUE(EntriesOf(0).empty());
}

TEST_F(KeyBuildTest, SpilledSortGivesTheSameEntries) {
  // 6000 items of 204 bytes pass one 1,000,000-byte batch.
  Define({{KEY_DUP, {0}}, {KEY_OPT, {0, 1}}});
  for (uint32_t record = 1; record <= 6000; ++record) {
    const uint32_t scrambled = (record * 104729u) % 6007u;
    Append(Image("Title " + std::to_string(scrambled % 3000), int32_t(record), "c"), record);
  }
  ASSERT_EQ(BuildAll(state_, false), 0);
  ExpectComplete(0);
  ExpectComplete(1);
}

TEST_F(KeyBuildTest, FailedRunFileEndsTheBuildWithItsErrorAndNothingIndexed) {
  Define({{KEY_DUP, {0}}, {KEY_DUP, {1}}});
  for (uint32_t record = 1; record <= 6000; ++record) {
    Append(Image("Title " + std::to_string(record), int32_t(record), "c"), record);
  }
  FullDisk full;
  ScopedTempFiles scoped(full);
  EXPECT_EQ(BuildAll(state_, false), 112);
  EXPECT_TRUE(EntriesOf(0).empty());
  EXPECT_EQ(ReadCount(state_, 0), 0u);
  EXPECT_EQ(FirstNotIndexed(state_, 0), 1u);
  // The key after the failing one is left as it was, as key by key.
  EXPECT_TRUE(EntriesOf(1).empty());
  EXPECT_EQ(FirstNotIndexed(state_, 1), 1u);
}

TEST_F(KeyBuildTest, LargeBuildCheckpointsAndEndsComplete) {
  // Enough entries to fill 400 changed pages between checkpoints.
  Define({{KEY_DUP, {0}}});
  for (uint32_t record = 1; record <= 12000; ++record) {
    Append(Image(std::string(150, char('a' + record % 26)) + std::to_string(record), 0, "c"), record);
  }
  ASSERT_EQ(Commit(store_), 0);
  ASSERT_EQ(BuildKey(state_, state_.keys[0]), 0);
  ExpectComplete(0);
}

}  // namespace
}  // namespace vantrose
