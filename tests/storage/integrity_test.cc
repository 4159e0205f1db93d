// The integrity checker finds damage, and the tree meets damaged files with
// corruption reports, never a crash, a hang or a wrong read outside a page.
#include <gtest/gtest.h>

#include <functional>

#include "engine/storage/page.h"
#include "tests/storage/tree_fixture.h"

namespace vantrose::testing {
namespace {

// Where the pages of the test file lie.
struct Layout {
  int32_t root;
  int32_t leaf;  // a leaf that is not the first
  int32_t first_leaf;
};

class IntegrityTest : public StoreTest {
 protected:
  // A committed file of two levels; answers where its pages lie.
  Layout BuildFile() {
    FileStore& store = OpenForWriting();
    for (uint32_t n = 1; n <= 300; ++n) Insert(store, MakeNoisyRecord(n, 500));
    EXPECT_EQ(Commit(store), 0);
    Layout layout{store.header.root_page, FindForCursor(store, Key(150)).leaf->number,
                  FindForCursor(store, Key(1)).leaf->number};
    EXPECT_EQ(RootPage(store)->level, 1);
    Close();
    return layout;
  }
};

uint32_t PageAt(int32_t page) { return uint32_t(512 + 256 * page); }

struct Damage {
  const char* name;
  std::function<void(std::vector<uint8_t>&, const Layout&)> apply;
  const char* problem;  // part of the text the checker gives
};

TEST_F(IntegrityTest, SoundFileHasNoProblems) {
  BuildFile();
  Open();
  EXPECT_TRUE(Problems().empty());
}

// The checker catches reports itself; outside an engine operation it must
// not leave reports set to unwind, or a later one would escape uncaught
// instead of being the fatal error it is there.
TEST_F(IntegrityTest, CheckingLeavesTheOperationMarkAsItFoundIt) {
  BuildFile();
  Open();
  for (const bool marked : {false, true}) {
    if (marked) MarkEngineOperationInProgress(); else ClearEngineOperationInProgress();
    (void)Problems();
    EXPECT_EQ(EngineOperationInProgress(), marked);
  }
  MarkEngineOperationInProgress();  // as the fixture runs the other tests
}

TEST_F(IntegrityTest, DamageIsListedAndReadingItIsAReportNotACrash) {
  const Layout layout = BuildFile();
  const std::vector<uint8_t> pristine = ReadBytes(path_);
  const Damage damages[] = {
      {"a pending log", [](auto& b, auto&) { StoreLE32(&b[10], LoadLE32(&b[10]) + 512); }, "log is pending"},
      {"a leaf at the wrong level", [](auto& b, auto& l) { b[PageAt(l.leaf) + 12] = 3; }, "cannot be read"},
      {"a leaf with another home offset", [](auto& b, auto& l) { StoreLE32(&b[PageAt(l.leaf)], 512); },
       "another home offset"},
      {"two children swapped",
       [](auto& b, auto& l) {
         for (int k = 0; k < 4; ++k) std::swap(b[PageAt(l.root) + 13 + 4 + k], b[PageAt(l.root) + 13 + 8 + k]);
       },
       "but its entry says"},
      {"a child that is the root itself", [](auto& b, auto& l) { StoreLE32(&b[PageAt(l.root) + 13 + 4], uint32_t(l.root)); },
       "reached twice"},
      {"a child outside every zone", [](auto& b, auto& l) { StoreLE32(&b[PageAt(l.root) + 13 + 4], 100000); },
       "in no zone"},
      {"a page whose stored size does not fit its slot", [](auto& b, auto& l) { StoreLE16(&b[PageAt(l.leaf) + 4], 9000); },
       "cannot be read"},
      {"a first leaf without the empty record",
       [](auto& b, auto& l) { b[PageAt(l.first_leaf) + 13] = 0xC0; b[PageAt(l.first_leaf) + 14] = 1; },
       ""},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    std::vector<uint8_t> bytes = pristine;
    damage.apply(bytes, layout);
    WriteBytes(path_, bytes);
    FileStore& store = Open(kDenyWriteMode);
    const std::vector<std::string> problems = Problems(false);
    ASSERT_FALSE(problems.empty());
    bool named = false;
    for (const std::string& problem : problems) named = named || problem.find(damage.problem) != std::string::npos;
    EXPECT_TRUE(named) << problems.front();
    // Reading the whole file ends normally or in a report.
    CorruptionCode([&] {
      for (uint32_t n = 0; n <= 301; n += 3) FindExact(store, Key(n));
      ReadContents();
    });
    Abandon(store);
    Crash();
  }
}

}  // namespace
}  // namespace vantrose::testing
