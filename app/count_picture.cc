#include "app/count_picture.h"

namespace vantrose {
namespace {
constexpr size_t kPictureWidth = 8;
}  // namespace

std::string FormatCountN8(uint32_t value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  const std::string& shown = grouped.size() <= kPictureWidth ? grouped : digits;
  if (shown.size() >= kPictureWidth) return shown;
  return std::string(kPictureWidth - shown.size(), ' ') + shown;
}

}  // namespace vantrose
