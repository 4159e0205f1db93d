#include "app/same_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/files.h"

namespace vantrose {
namespace {

TEST(SameFileTest, SeesThroughSpellingsLinksTablePartsAndTheDefaultExtension) {
  namespace fs = std::filesystem;
  const testing::ScratchDir scratch;
  const fs::path dir = scratch.path();
  std::ofstream(dir / "cat.VNT") << "x";
  std::ofstream(dir / "other.crz") << "x";
  fs::create_symlink(dir / "other.crz", dir / "link.crz");
  const std::string d = dir.string();
  struct Case {
    std::string a, b;
    bool same;
  };
  const Case cases[] = {
      {d + "/cat", d + "/cat.VNT", true},
      {d + "/cat.VNT   ", "  " + d + "/./cat.VNT", true},
      {d + "/cat\\!T1", d + "/cat.VNT\\!T2", true},
      {d + "/other.crz", d + "/link.crz", true},
      {d + "/cat", d + "/other.crz", false},
      {d + "/other.crz", d + "/missing.crz", false},
      {d + "/missing.crz", d + "/./missing.crz", true},  // the same path, not yet a file
      {"", "", false},
  };
  for (const Case& c : cases) EXPECT_EQ(NamesOnePhysicalFile(c.a, c.b), c.same) << c.a << " | " << c.b;
}

}  // namespace
}  // namespace vantrose
