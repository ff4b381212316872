#pragma once

#include <QString>
#include <string_view>

namespace loadstar {

// The board's display text as glyphs of the OEM character set (code page 437), the way the
// board's own display and its DOS-era font show them: every byte keeps its glyph, without any
// code page conversion of the text. The text ends at its first zero byte. Line breaks stay line
// breaks (CR LF, LF or a lone CR) and a tab stays a tab; every other control byte shows as its
// code page 437 picture (0x01 is a smiling face).
QString oemTextToDisplay(std::string_view text);

}  // namespace loadstar
