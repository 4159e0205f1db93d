#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vantrose {
namespace {

std::string ToOem(std::string text) {
  AnsiToOem(reinterpret_cast<uint8_t*>(text.data()), text.size());
  return text;
}

std::string ToAnsi(std::string text) {
  OemToAnsi(reinterpret_cast<uint8_t*>(text.data()), text.size());
  return text;
}

TEST(CodePageTest, AsciiIsTheSameInBothPages) {
  for (unsigned b = 0; b < 0x80; ++b) {
    EXPECT_EQ(AnsiToOemMap()[b], b);
    EXPECT_EQ(OemToAnsiMap()[b], b);
  }
}

TEST(CodePageTest, KnownCounterparts) {
  struct Case {
    uint8_t ansi, oem;
    const char* what;
  } cases[] = {
      {0xE9, 0x82, "e acute"}, {0xC7, 0x80, "C cedilla"}, {0xFC, 0x81, "u umlaut"},
      {0xC4, 0x8E, "A umlaut"}, {0xDF, 0xE1, "sharp s"},  {0xF1, 0xA4, "n tilde"},
      {0xA3, 0x9C, "pound"},    {0x83, 0x9F, "florin"},   {0xB0, 0xF8, "degree"},
      {0xA0, 0xFF, "no-break space"}, {0xB7, 0xFA, "middle dot"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiToOemMap()[c.ansi], c.oem) << c.what;
    EXPECT_EQ(OemToAnsiMap()[c.oem], c.ansi) << c.what;
  }
}

// Every character that both pages have survives ANSI -> OEM -> ANSI and
// OEM -> ANSI -> OEM; the two counts agree (the shared set is a bijection).
TEST(CodePageTest, SharedCharactersRoundTrip) {
  int ansi_round_trips = 0, oem_round_trips = 0;
  for (unsigned b = 0; b < 256; ++b) {
    if (OemToAnsiMap()[AnsiToOemMap()[b]] == b) ++ansi_round_trips;
    if (AnsiToOemMap()[OemToAnsiMap()[b]] == b) ++oem_round_trips;
  }
  EXPECT_EQ(ansi_round_trips, oem_round_trips);
  EXPECT_EQ(ansi_round_trips, 128 + 54);  // ASCII and 54 shared characters

  std::string text = "Caf\xE9 M\xFCller \xA3" "12 Se\xF1or \xC5ngstr\xF6m";
  EXPECT_EQ(ToAnsi(ToOem(text)), text);
  std::string box = "\xC9\xCD\xBB\xB0\xE0\xE1";  // OEM text with box and Greek
  EXPECT_NE(ToAnsi(box), box);
}

TEST(CodePageTest, BestFitForMissingCharacters) {
  EXPECT_EQ(ToOem("\xC0\xC8\xD8\xE3\xF5"), "AEOao");   // accents dropped
  EXPECT_EQ(ToOem("\x93quote\x94 \x96 \x80"), "\"quote\" - E");
  EXPECT_EQ(ToOem("\x8A\x9A\x8C\x9C"), "SsOo");
  EXPECT_EQ(ToAnsi("\xDA\xC4\xBF\xB3\xCD"), "+-+|=");  // box drawing
  EXPECT_EQ(ToAnsi("\xE0\xE3\xF2\xF3"), "ap><");
  EXPECT_EQ(ToAnsi("\xF9"), "\xB7");                    // bullet operator
  EXPECT_EQ(ToAnsi("\xA9"), "\xAC");                    // reversed not sign
}

TEST(CodePageTest, UndefinedAndUnfittableBytesBecomeQuestionMarks) {
  for (uint8_t undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    EXPECT_EQ(AnsiToOemMap()[undefined], '?') << int(undefined);
  }
  EXPECT_EQ(ToOem("\xA4\xDE"), "??");  // currency sign, thorn
}

TEST(CodePageTest, ConversionIsInPlaceAndBounded) {
  uint8_t bytes[4] = {0xE9, 0xE9, 0xE9, 0xE9};
  AnsiToOem(bytes, 2);
  EXPECT_EQ(bytes[0], 0x82);
  EXPECT_EQ(bytes[1], 0x82);
  EXPECT_EQ(bytes[2], 0xE9);  // past the length: untouched
  AnsiToOem(bytes, 0);
  EXPECT_EQ(bytes[0], 0x82);
}

}  // namespace
}  // namespace vantrose
