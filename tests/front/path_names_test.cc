#include "engine/front/path_names.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/front/open_fixture.h"

namespace vantrose {
namespace {

using PathNamesTest = TableOperationsTest;

TEST_F(PathNamesTest, SplittingAtTheTableSeparator) {
  std::filesystem::create_directories("X\\!Y");
  struct Case {
    const char* name;
    const char* file;
    const char* table;
  };
  const Case cases[] = {
      {"DATA", "DATA", "UNNAMED"},
      {"DATA.VNT\\!parts", "DATA.VNT", "PARTS"},
      {"a\\!b\\!c", "a", "B\\!C"},
      {"X\\!Y\\!t", "X\\!Y", "T"},          // an existing directory keeps its "\!"
      {"X\\!Y/f\\!t", "X\\!Y/f", "T"},
      {"X\\!Z\\!t", "X", "Z\\!T"},
      {"F\\!", "F", "UNNAMED"},
  };
  for (const Case& c : cases) {
    TableName split = SplitTableName(c.name);
    EXPECT_EQ(split.file, c.file) << c.name;
    EXPECT_EQ(split.table, c.table) << c.name;
  }
}

TEST_F(PathNamesTest, ResolvingNames) {
  struct Case {
    std::string name;
    std::string extension;
    bool replace;
    int32_t rc;
    std::string path;
  };
  const std::string here = dir_.string();
  const Case cases[] = {
      {"data", ".VNT", false, 0, here + "/data.VNT"},
      {"data.crz", ".VNT", false, 0, here + "/data.crz"},
      {"data.", ".VNT", false, 0, here + "/data."},
      {"data.crz", ".VNT", true, 0, here + "/data.VNT"},
      {"data", "VNT", false, 0, here + "/data.VNT"},
      {"./a/../b//c", ".VNT", false, 0, here + "/b/c.VNT"},
      {"/tmp/../etc/x.y", ".VNT", false, 0, "/etc/x.y"},
      {"dir.d/file", ".VNT", false, 0, here + "/dir.d/file.VNT"},
      {"", ".VNT", false, 45, ""},
      {std::string(259, 'n'), ".VNT", false, 0, here + "/" + std::string(259, 'n') + ".VNT"},
      {std::string(260, 'n'), ".VNT", false, 45, ""},
  };
  for (const Case& c : cases) {
    std::string path;
    EXPECT_EQ(ResolveFullPath(c.name, c.extension, c.replace, &path), c.rc) << c.name;
    if (c.rc == 0) {
      EXPECT_EQ(path, c.path) << c.name;
    }
  }
}

TEST_F(PathNamesTest, OpenThroughADirectoryNamedWithTheSeparator) {
  std::filesystem::create_directories("X\\!Y");
  NamedFile t("X\\!Y/F\\!t");
  ASSERT_EQ(Create(t), 0);
  EXPECT_TRUE(Exists("X\\!Y/F.VNT"));
  ASSERT_EQ(Open(t), 0);
  EXPECT_EQ(Name(t), InDir("X\\!Y/F.VNT\\!T"));
  Close(t);
  NamedFile too_long(std::string(300, 'n'));
  EXPECT_EQ(Open(too_long), 45);
}

}  // namespace
}  // namespace vantrose
