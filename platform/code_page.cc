#include "platform/code_page.h"

#include <array>

namespace vantrose {
namespace {

// Characters of bytes 0x80-0xFF of each page, as Unicode code points. 0 marks
// a byte that Windows-1252 leaves undefined.
constexpr char16_t kOemHigh[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

constexpr char16_t kAnsiHigh[32] = {  // 0x80-0x9F; 0xA0-0xFF are U+00A0-U+00FF
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Best-fit characters for what one page lacks; the fit is looked up in the
// other page in turn, and whatever still has no place becomes '?'.
struct Fit {
  char16_t from;
  char16_t to;
};
constexpr Fit kBestFits[] = {
    // Windows-1252 characters missing from code page 437.
    {0x20AC, 'E'}, {0x201A, ','}, {0x201E, '"'}, {0x2026, '.'}, {0x2020, '+'},
    {0x2021, '+'}, {0x02C6, '^'}, {0x2030, '%'}, {0x0160, 'S'}, {0x2039, '<'},
    {0x0152, 'O'}, {0x017D, 'Z'}, {0x2018, '\''}, {0x2019, '\''}, {0x201C, '"'},
    {0x201D, '"'}, {0x2022, 0x2219}, {0x2013, '-'}, {0x2014, '-'}, {0x02DC, '~'},
    {0x2122, 'T'}, {0x0161, 's'}, {0x203A, '>'}, {0x0153, 'o'}, {0x017E, 'z'},
    {0x0178, 'Y'}, {0x00A6, '|'}, {0x00A8, '"'}, {0x00A9, 'c'}, {0x00AD, '-'},
    {0x00AE, 'r'}, {0x00AF, '-'}, {0x00B3, '3'}, {0x00B4, '\''}, {0x00B8, ','},
    {0x00B9, '1'}, {0x00C0, 'A'}, {0x00C1, 'A'}, {0x00C2, 'A'}, {0x00C3, 'A'},
    {0x00C8, 'E'}, {0x00CA, 'E'}, {0x00CB, 'E'}, {0x00CC, 'I'}, {0x00CD, 'I'},
    {0x00CE, 'I'}, {0x00CF, 'I'}, {0x00D0, 'D'}, {0x00D2, 'O'}, {0x00D3, 'O'},
    {0x00D4, 'O'}, {0x00D5, 'O'}, {0x00D7, 'x'}, {0x00D8, 'O'}, {0x00D9, 'U'},
    {0x00DA, 'U'}, {0x00DB, 'U'}, {0x00DD, 'Y'}, {0x00E3, 'a'}, {0x00F0, 'd'},
    {0x00F5, 'o'}, {0x00F8, 'o'}, {0x00FD, 'y'},
    // Code page 437 characters missing from Windows-1252.
    {0x20A7, 'P'}, {0x2310, 0x00AC}, {0x2591, '#'}, {0x2592, '#'}, {0x2593, '#'},
    {0x2502, '|'}, {0x2551, '|'}, {0x2500, '-'}, {0x2550, '='}, {0x2588, '#'},
    {0x2584, '#'}, {0x258C, '#'}, {0x2590, '#'}, {0x2580, '#'}, {0x25A0, '#'},
    {0x03B1, 'a'}, {0x0393, 'G'}, {0x03C0, 'p'}, {0x03A3, 'S'}, {0x03C3, 's'},
    {0x03C4, 't'}, {0x03A6, 'F'}, {0x0398, 'T'}, {0x03A9, 'O'}, {0x03B4, 'd'},
    {0x221E, '8'}, {0x03C6, 'f'}, {0x03B5, 'e'}, {0x2229, 'n'}, {0x2261, '='},
    {0x2265, '>'}, {0x2264, '<'}, {0x2320, '|'}, {0x2321, '|'}, {0x2248, '~'},
    {0x2219, 0x00B7}, {0x221A, 'v'}, {0x207F, 'n'},
};

constexpr char16_t OemChar(unsigned byte) {
  return byte < 0x80 ? char16_t(byte) : kOemHigh[byte - 0x80];
}

constexpr char16_t AnsiChar(unsigned byte) {
  if (byte < 0x80 || byte >= 0xA0) return char16_t(byte);
  return kAnsiHigh[byte - 0x80];
}

constexpr bool IsBoxCorner(char16_t c) {  // junctions and corners of box lines
  return c >= 0x2500 && c <= 0x257F;
}

// The byte of `c` in the page whose characters `page_char` gives, or -1.
template <typename PageChar>
constexpr int FindByte(PageChar page_char, char16_t c) {
  for (unsigned b = 0; b < 256; ++b) {
    if (page_char(b) == c) return int(b);
  }
  return -1;
}

template <typename FromChar, typename ToChar>
constexpr std::array<uint8_t, 256> BuildMap(FromChar from_char, ToChar to_char) {
  std::array<uint8_t, 256> map{};
  for (unsigned b = 0; b < 256; ++b) {
    char16_t c = from_char(b);
    int found = c == 0 && b != 0 ? -1 : FindByte(to_char, c);
    if (found < 0 && c != 0) {
      char16_t fit = IsBoxCorner(c) ? char16_t('+') : char16_t(0);
      for (const Fit& entry : kBestFits) {
        if (entry.from == c) fit = entry.to;
      }
      if (fit != 0) found = FindByte(to_char, fit);
    }
    map[b] = found < 0 ? uint8_t('?') : uint8_t(found);
  }
  return map;
}

constexpr std::array<uint8_t, 256> kAnsiToOem =
    BuildMap([](unsigned b) { return AnsiChar(b); }, [](unsigned b) { return OemChar(b); });
constexpr std::array<uint8_t, 256> kOemToAnsi =
    BuildMap([](unsigned b) { return OemChar(b); }, [](unsigned b) { return AnsiChar(b); });

void MapInPlace(const std::array<uint8_t, 256>& map, uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) bytes[i] = map[bytes[i]];
}

}  // namespace

const uint8_t* AnsiToOemMap() { return kAnsiToOem.data(); }
const uint8_t* OemToAnsiMap() { return kOemToAnsi.data(); }

void AnsiToOem(uint8_t* bytes, size_t length) { MapInPlace(kAnsiToOem, bytes, length); }
void OemToAnsi(uint8_t* bytes, size_t length) { MapInPlace(kOemToAnsi, bytes, length); }

}  // namespace vantrose
