// The numeric picture "n8" of the progress window's count display.
#pragma once

#include <cstdint>
#include <string>

namespace vantrose {

// `value` right-aligned in 8 characters with leading blanks, at least one
// digit, "," before every group of three digits ("       0", "  12,345").
// A count whose grouped form does not fit (1,000,000 and more) drops the
// separators (" 1234567", "99999999"); one of more than eight digits is
// shown in full, wider than the picture. Never a cut or wrong number.
std::string FormatCountN8(uint32_t value);

}  // namespace vantrose
