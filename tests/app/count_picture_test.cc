#include "app/count_picture.h"

#include <gtest/gtest.h>

#include <climits>

namespace vantrose {
namespace {

TEST(CountPictureTest, RendersEightCharactersAndNeverAWrongNumber) {
  const std::pair<uint32_t, const char*> cases[] = {
      {0, "       0"},
      {1, "       1"},
      {999, "     999"},
      {1000, "   1,000"},
      {1234, "   1,234"},
      {12345, "  12,345"},
      {999999, " 999,999"},
      // The grouped form no longer fits: the separators go, the digits stay.
      {1000000, " 1000000"},
      {99999999, "99999999"},
      // More digits than the picture holds: shown in full, wider.
      {100000000, "100000000"},
      {UINT32_MAX, "4294967295"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatCountN8(value), text) << value;
}

}  // namespace
}  // namespace vantrose
