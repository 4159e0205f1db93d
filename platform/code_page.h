// Code pages: conversion of byte strings in place between the ANSI code page
// (Windows-1252) and the OEM code page (code page 437).
//
// Offers: AnsiToOem, OemToAnsi over a byte range, and the two 256-byte maps
// behind them for callers that fold the conversion into a table lookup of
// their own. Needs: nothing.
//
// The maps are fixed (the same on every machine). Bytes 0x00-0x7F are the
// same in both pages and map to themselves. A character that exists in both
// pages maps to its counterpart, so text made only of such characters
// survives a round trip unchanged; a character that the other page lacks maps
// to a best-fit character (a letter without its accent, a plain quote or dash,
// a line of a box drawing to '+', '-' or '|') or, failing that, to '?'.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrose {

// byte -> byte maps; entry b is the converted form of b.
const uint8_t* AnsiToOemMap();
const uint8_t* OemToAnsiMap();

void AnsiToOem(uint8_t* bytes, size_t length);
void OemToAnsi(uint8_t* bytes, size_t length);

}  // namespace vantrose
