// Model-based test: random inserts, deletes, cursor walks and appends,
// in-place changes, commits, abandons, cache drops and reopens, checked
// against a std::map after every step and by the integrity checker after
// every commit. Seeded and reproducible; VANTROSE_SOAK=1 runs far longer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

#include "tests/storage/tree_fixture.h"

namespace vantrose::testing {
namespace {

struct Version {
  uint32_t length;
  uint32_t version;
};
using Model = std::map<uint32_t, Version>;

class ModelTest : public StoreTest {
 protected:
  static RecordNodePtr Build(uint32_t key, const Version& v) {
    return v.version % 2 == 0 ? MakeRecord(key, v.length, uint8_t(v.version)) : MakeNoisyRecord(key, v.length, v.version);
  }

  // Keys and lengths always; all bytes when `full`.
  void ExpectMatches(const Model& model, const std::string& where, bool full) {
    auto expected = model.begin();
    RecordNode* at = FindNext(store(), *FindExact(store(), {}));
    for (; at != nullptr; at = FindNext(store(), *at), ++expected) {
      ASSERT_NE(expected, model.end()) << where << ": extra record " << KeyNumber(at);
      ASSERT_EQ(KeyNumber(at), expected->first) << where;
      ASSERT_EQ(at->total_length(), 4 + expected->second.length) << where;
      if (!full) continue;
      RecordNodePtr want = Build(expected->first, expected->second);
      ASSERT_TRUE(std::equal(at->all().begin(), at->all().end(), want->all().begin(), want->all().end()))
          << where << ": contents of " << expected->first;
    }
    ASSERT_EQ(expected, model.end()) << where << ": missing record " << expected->first;
  }

  uint32_t RandomLength(std::mt19937& random) {
    const uint32_t pick = random() % 100;
    if (pick < 60) return 10 + random() % 200;
    if (pick < 95) return 300 + random() % 1500;
    return 5000 + random() % 4300;
  }

  void RunModel(uint32_t seed, int steps) {
    std::mt19937 random(seed);
    Model committed;
    Model model;
    FileStore* store = &OpenForWriting(random() % 2 == 0 ? kSharedMode : kDenyWriteMode);
    uint32_t next_version = 0;
    for (int step = 0; step < steps; ++step) {
      const std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step);
      const uint32_t action = random() % 100;
      const bool full = action >= 78;
      const uint32_t key = 1 + random() % 1000;
      if (action < 40) {  // insert (or refused as a duplicate)
        const Version v{RandomLength(random), next_version++};
        if (model.count(key) != 0) {
          ASSERT_EQ(CorruptionCode([&] { Insert(*store, Build(key, v)); }), 706u) << where;
        } else {
          Insert(*store, Build(key, v));
          model[key] = v;
        }
      } else if (action < 60) {  // delete the record at or after key
        auto it = model.lower_bound(key);
        if (it == model.end()) continue;
        Delete(*store, FindExact(*store, Key(it->first)));
        model.erase(it);
      } else if (action < 68) {  // walk with a cursor, deleting now and then
        Cursor cursor(*store);
        CursorSet(cursor, RecordNode::FromBytes(Key(key)), false);
        auto it = model.lower_bound(key);
        RecordNode* at = CursorCurrent(cursor);
        if (at == nullptr) at = FindNext(*store, *RecordNode::FromBytes(Key(key)));
        for (int i = 0; i < 30 && it != model.end(); ++i) {
          ASSERT_NE(at, nullptr) << where;
          ASSERT_EQ(KeyNumber(at), it->first) << where;
          if (random() % 5 == 0) {
            CursorSet(cursor, RecordNode::KeyCopy(*at), false);
            CursorCurrent(cursor);
            CursorDelete(cursor);
            it = model.erase(it);
            RecordNode* previous = CursorCurrent(cursor);
            at = previous == nullptr ? FindNext(*store, *FindExact(*store, {})) : FindNext(*store, *previous);
          } else {
            ++it;
            at = FindNext(*store, *at);
          }
        }
      } else if (action < 74) {  // append beyond the last key through a cursor
        if (model.size() > 1500) continue;  // keeps the walks of the soak short
        uint32_t last = model.empty() ? 0 : model.rbegin()->first;
        Cursor cursor(*store);
        CursorSet(cursor, last == 0 ? RecordNode::New(0, 0) : RecordNode::FromBytes(Key(last)), false);
        CursorCurrent(cursor);
        for (int i = 0; i < 1 + int(random() % 40); ++i) {
          const Version v{RandomLength(random) % 700, next_version++};
          CursorInsert(cursor, Build(++last, v));
          model[last] = v;
        }
      } else if (action < 78) {  // change a record in place
        auto it = model.lower_bound(key);
        if (it == model.end()) continue;
        Cursor cursor(*store);
        CursorSet(cursor, RecordNode::FromBytes(Key(it->first)), false);
        RecordNode* record = CursorCurrent(cursor);
        ASSERT_NE(record, nullptr) << where;
        RecordNodePtr changed = Build(it->first, {it->second.length, next_version++ * 2});
        std::copy(changed->all().begin(), changed->all().end(), record->bytes());
        CursorMarkChanged(cursor);
        it->second.version = (next_version - 1) * 2;
      } else if (action < 88) {  // commit
        ASSERT_EQ(Commit(*store), 0) << where;
        committed = model;
        const std::vector<std::string> problems = Problems();
        ASSERT_TRUE(problems.empty()) << where << ": " << problems.front();
      } else if (action < 92) {  // abandon
        Abandon(*store);
        model = committed;
      } else if (action < 96) {  // commit, then read everything back from the file
        ASSERT_EQ(Commit(*store), 0) << where;
        committed = model;
        store->cache.DropAll();
      } else {  // close and reopen
        Close();
        committed = model;
        store = &OpenForWriting(random() % 2 == 0 ? kSharedMode : kDenyWriteMode);
      }
      ExpectMatches(model, where, full);
      if (HasFatalFailure()) return;
    }
    ASSERT_EQ(Commit(*store), 0);
    EXPECT_TRUE(Problems().empty());
  }
};

TEST_F(ModelTest, RandomOperationsMatchAMap) {
  const bool soak = std::getenv("VANTROSE_SOAK") != nullptr;
  const int steps = soak ? 40000 : 1500;
  UnflushedFileSystem unflushed;
  ScopedFileSystem use(unflushed);
  for (uint32_t seed : {1u, 2u, 3u}) {
    std::remove(path_.c_str());
    RunModel(seed, steps);
    if (HasFatalFailure()) break;
    Close();
  }
  Close();
}

}  // namespace
}  // namespace vantrose::testing
