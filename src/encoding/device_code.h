#pragma once
// The direct parameter write of the page ("WriteDeviceMultimedia"): the profile rows' values
// turned into the code string written at the row's index with the row's length.
#include <QString>

namespace kf::encoding {

// Turns a profile value into the code string to write with size `length` (decimal):
//   - length 5 is a DPI stage: the value is decimal DPI, v = value / 50, and the code becomes
//     "0x01,lo,hi,lo,hi" (lo = v mod 256, hi = v / 256, hexadecimal); a malformed value reads
//     as 0. 2000 gives "0x01,28,0,28,0".
//   - otherwise a value of exactly six characters is three two-digit tokens ("2EABF3" gives
//     "2E,AB,F3", "CD00E9" gives "CD,00,E9");
//   - anything else is already a code string.
// The DPI rule is checked first, so a six-digit DPI value is not cut into tokens. Every part
// between commas is a token and an empty one is the byte 00 ("0x01,2,,ff" with length 4 writes
// 01 02 00 FF; a trailing "," adds a 00). Returns false, leaving `out` empty, when a token is
// neither empty nor a byte, the DPI value is negative or too large for two bytes, or the token
// count differs from `length` (the write would be refused anyway).
bool deviceCodeForWrite(const QString& code, const QString& length, QString* out);

}  // namespace kf::encoding
