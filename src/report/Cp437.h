// Code page 437, the character set of the report, and its display on a terminal.
#pragma once

#include <string>

namespace sondrax {

/// The Unicode character that code page 437 shows for `byte`, with the glyphs of the
/// control bytes 0x01 to 0x1F and 0x7F (a smiley, a heart ... a house). Byte 0 gives a blank.
char32_t Cp437Glyph(unsigned char byte);

/// Appends the UTF-8 encoding of `c` to `out`.
void AppendUtf8(char32_t c, std::string* out);

}  // namespace sondrax
