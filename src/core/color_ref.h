#pragma once

#include <QtGlobal>

/// A colour as the settings store keeps it: red in the low byte, then green, then blue.
/// 255 is pure red, 16711680 pure blue. The top byte is ignored when painting.
using ColorRef = quint32;

[[nodiscard]] constexpr int redOf(ColorRef c)
{
    return int(c & 0xff);
}
[[nodiscard]] constexpr int greenOf(ColorRef c)
{
    return int((c >> 8) & 0xff);
}
[[nodiscard]] constexpr int blueOf(ColorRef c)
{
    return int((c >> 16) & 0xff);
}
[[nodiscard]] constexpr ColorRef colorRef(int red, int green, int blue)
{
    return ColorRef(red & 0xff) | ColorRef(green & 0xff) << 8 | ColorRef(blue & 0xff) << 16;
}
