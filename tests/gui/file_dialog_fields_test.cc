#include "platform/gtk/file_dialog_fields.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrose {
namespace {

TEST(FilterListTest, ConverterListGivesTwoFiltersInOrder) {
  std::vector<FileFilter> filters = ParseFilterList("Cratewise|*.crz|ALL|*.*");
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_EQ(filters[0].description, "Cratewise");
  EXPECT_EQ(filters[0].patterns, std::vector<std::string>{"*.[cC][rR][zZ]"});
  EXPECT_EQ(filters[1].description, "ALL");
  EXPECT_EQ(filters[1].patterns, std::vector<std::string>{"*"});
}

TEST(FilterListTest, MalformedListsKeepOnlyUsablePairs) {
  struct Case {
    const char* list;
    size_t filters;
    size_t patterns_of_first;
  } cases[] = {
      {"", 0, 0},
      {"Cratewise", 0, 0},                    // description without pattern
      {"Cratewise|*.crz|ALL", 1, 1},          // trailing description dropped
      {"Empty||ALL|*.*", 1, 1},               // a filter that would match nothing
      {"Both|*.crz; *.bak|ALL|*.*", 2, 2},    // several globs in one pattern
      {"Bars|||", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    std::vector<FileFilter> filters = ParseFilterList(c.list);
    ASSERT_EQ(filters.size(), c.filters);
    if (c.filters > 0) {
      EXPECT_EQ(filters[0].patterns.size(), c.patterns_of_first);
    }
  }
}

TEST(FilterListTest, GlobsMatchEitherCaseAndLeaveClassesAlone) {
  EXPECT_EQ(CaseBlindGlob("*.*"), "*");
  EXPECT_EQ(CaseBlindGlob("*"), "*");
  EXPECT_EQ(CaseBlindGlob("a?.1"), "[aA]?.1");
  EXPECT_EQ(CaseBlindGlob("x[ab]"), "[xX][ab]");
}

TEST(InitialFileNameTest, OffersOnlyWhatParsesAsAName) {
  struct Case {
    std::string variable;
    std::optional<std::string> name;
  } cases[] = {
      {std::string(260, ' '), std::nullopt},
      {"", std::nullopt},
      {"/home/u/old.crz" + std::string(245, ' '), "/home/u/old.crz"},
      {"  rel name.crz   ", "rel name.crz"},
      {"*.crz     ", std::nullopt},
      {"what?.crz ", std::nullopt},
      {std::string("a\tb.crz "), std::nullopt},
      {std::string("a\0b", 3), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variable);
    EXPECT_EQ(InitialFileName(c.variable), c.name);
  }
}

TEST(StoreChosenPathTest, PadsToTheVariableLength) {
  std::string variable(260, 'x');
  ASSERT_TRUE(StoreChosenPath("/tmp/new.crz", variable));
  EXPECT_EQ(variable, "/tmp/new.crz" + std::string(248, ' '));

  std::string exact(12, ' ');
  ASSERT_TRUE(StoreChosenPath("/tmp/new.crz", exact));
  EXPECT_EQ(exact, "/tmp/new.crz");
}

TEST(StoreChosenPathTest, RefusesWhatCannotBeStoredFaithfully) {
  const std::string before = "/old/name.crz" + std::string(247, ' ');
  for (const std::string& path :
       {std::string("/") + std::string(260, 'a'),  // one byte too long: cutting names another file
        std::string("/tmp/ends in a blank "), std::string()}) {
    std::string variable = before;
    EXPECT_FALSE(StoreChosenPath(path, variable)) << path;
    EXPECT_EQ(variable, before);
  }
  std::string variable = before;
  EXPECT_TRUE(StoreChosenPath("/" + std::string(259, 'a'), variable));
  EXPECT_EQ(variable.size(), 260u);
}

}  // namespace
}  // namespace vantrose
