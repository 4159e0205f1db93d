#include "runtime/string_stack.h"

#include <gtest/gtest.h>

namespace vantrose {
namespace {

TEST(StringStackTest, PopsInReverseOrderAndAnEmptyStackYieldsEmpty) {
  ASSERT_EQ(StringStackDepth(), 0u);
  PushString("components");
  PushString(std::string("with\0nul", 8));
  PushString("");
  EXPECT_EQ(StringStackDepth(), 3u);
  EXPECT_EQ(PopString(), "");
  EXPECT_EQ(PopString(), std::string("with\0nul", 8));
  EXPECT_EQ(PopString(), "components");
  EXPECT_EQ(StringStackDepth(), 0u);
  EXPECT_EQ(PopString(), "");
  EXPECT_EQ(StringStackDepth(), 0u);
}

}  // namespace
}  // namespace vantrose
