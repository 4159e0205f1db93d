// The catalogue's two dynamic indexes, STARSKEY and STARSKEYKEY, built on
// request through the engine entry on the product's own declaration.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "app/declarations.h"
#include "engine/front/engine_entry.h"
#include "engine/front/operations.h"
#include "engine/storage/commit.h"
#include "engine/storage/corruption.h"
#include "engine/storage/file_store.h"
#include "engine/storage/integrity_check.h"
#include "runtime/error_state.h"
#include "runtime/string_stack.h"

namespace vantrose {
namespace {

constexpr size_t kStarsKey = 2;
constexpr size_t kStarsKeyKey = 5;
constexpr uint32_t kTitleOffset = 0;
constexpr uint32_t kStarsOffset = 1270;
constexpr uint32_t kRatingOffset = 4271;

struct Album {
  std::string title;
  uint8_t stars;
  std::string rating;
};

const std::vector<Album> kAlbums = {
    {"Kind of Blue", 5, "essential"}, {"Low", 2, "fine"},       {"Abbey Road", 4, "great"},
    {"blue train", 5, "classic"},     {"Thriller", 3, "good"},  {"Nevermind", 0, ""},
};

std::string Upper(std::string text) {
  for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class CatalogueDynamicIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    path_ = std::string(tmp ? tmp : "/tmp") + "/dynamic-" + std::to_string(::getpid()) + ".crz";
    ::unlink(path_.c_str());
    StartProgram();
    SetFileName(TargetName, path_);
    ASSERT_EQ(Call(op::CREATE), 0);
    ASSERT_EQ(Call(op::OPEN, nullptr, 0x22), 0);
    for (const Album& album : kAlbums) {
      StartProgram();
      SetFileName(TargetName, path_);
      std::memcpy(MovRecord.data() + kTitleOffset, album.title.data(), album.title.size());
      MovRecord[kStarsOffset] = album.stars;
      std::memcpy(MovRecord.data() + kRatingOffset, album.rating.data(), album.rating.size());
      ASSERT_EQ(Call(op::ADD), 0);
    }
  }
  void TearDown() override {
    Call(op::CLOSE);
    ::unlink(path_.c_str());
    while (StringStackDepth() > 0) PopString();
    ClearError();
  }

  int32_t Call(int32_t operation, DeclaredKey* key = nullptr, int32_t cell = 0) {
    EngineArgs args;
    args.key = key;
    args.cells[0] = cell;
    ClearError();
    result_ = EngineEntry(operation, REELBIN2, args);
    return Errors().code;
  }
  static DeclaredKey* Key(size_t number) { return &(*REELBIN2.keys)[number]; }

  std::vector<std::string> Walk(size_t key) {
    std::vector<std::string> titles;
    EXPECT_EQ(Call(op::SETkey, Key(key)), 0);
    while (Call(op::NEXT) == 0) {
      std::string title(reinterpret_cast<const char*>(MovRecord.data() + kTitleOffset), 100);
      titles.push_back(title.substr(0, title.find_last_not_of(' ') + 1));
    }
    return titles;
  }

  std::string path_;
  int32_t result_ = 0;
};

TEST_F(CatalogueDynamicIndexTest, StarsIndexesAreBuiltOnRequestAndReadInTheirOrder) {
  EXPECT_EQ(Call(op::SETkey, Key(kStarsKey)), ERR_KEY_MUST_BE_REBUILT);

  PushString("-MOV:LISTBYSTARS, mov:title");
  ASSERT_EQ(Call(op::BUILDdyn, Key(kStarsKey)), 0);
  std::vector<Album> by_stars = kAlbums;
  std::stable_sort(by_stars.begin(), by_stars.end(), [](const Album& a, const Album& b) {
    return std::make_tuple(-a.stars, Upper(a.title)) < std::make_tuple(-b.stars, Upper(b.title));
  });
  std::vector<std::string> expected;
  for (const Album& album : by_stars) expected.push_back(album.title);
  EXPECT_EQ(Walk(kStarsKey), expected);

  PushString("MOV:LISTBYSTARS >= 3");
  PushString("MOV:RATING");
  ASSERT_EQ(Call(op::BUILDdynfilter, Key(kStarsKeyKey)), 0);
  std::vector<Album> by_rating;
  std::copy_if(kAlbums.begin(), kAlbums.end(), std::back_inserter(by_rating),
               [](const Album& album) { return album.stars >= 3; });
  std::stable_sort(by_rating.begin(), by_rating.end(),
                   [](const Album& a, const Album& b) { return a.rating < b.rating; });
  expected.clear();
  for (const Album& album : by_rating) expected.push_back(album.title);
  EXPECT_EQ(Walk(kStarsKeyKey), expected);
  EXPECT_EQ(Call(op::RECORDSkey, Key(kStarsKeyKey)), 0);
  EXPECT_EQ(result_, int32_t(expected.size()));

  ASSERT_EQ(Call(op::CLOSE), 0);
  FileStore store;
  ASSERT_EQ(StoreOpen(store, path_, 0x40, ""), 0);
  EXPECT_EQ(CheckIntegrity(store), std::vector<std::string>{});
  ClearEngineOperationInProgress();  // the checker leaves its mark for the reports it catches
  StoreClose(store);
  ASSERT_EQ(Call(op::OPEN, nullptr, 0x22), 0);
  EXPECT_EQ(Call(op::SETkey, Key(kStarsKey)), ERR_KEY_MUST_BE_REBUILT);
}

}  // namespace
}  // namespace vantrose
