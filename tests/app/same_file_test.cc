#include "app/same_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vantrose {
namespace {

TEST(SameFileTest, SeesThroughSpellingsLinksTablePartsAndTheDefaultExtension) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") /
                       ("same_file_test_" + std::to_string(::getpid()));
  fs::create_directories(dir);
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
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vantrose
