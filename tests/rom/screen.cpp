#include "tests/rom/screen.h"

#include "saturn_asm/lcd_font.h"

namespace test {

std::string ReadTextLine(const DotReader& dark, unsigned line)
{
    std::string text;
    for (unsigned cell = 0; cell < saturn::LcdWidth / saturn::GlyphWidth; ++cell) {
        char found = '?';
        for (char c = saturn::FirstGlyph; c <= saturn::LastGlyph && found == '?'; ++c) {
            const auto rows = *saturn::GlyphRows(c);
            bool same = true;
            for (unsigned row = 0; row < saturn::GlyphHeight && same; ++row)
                for (unsigned dot = 0; dot < saturn::GlyphWidth && same; ++dot)
                    same = dark(cell * saturn::GlyphWidth + dot, line * saturn::GlyphHeight + row) == ((rows[row] >> dot & 1) != 0);
            if (same)
                found = c;
        }
        text += found;
    }
    return text;
}

std::string ShownLine(const DotReader& dark, unsigned line)
{
    std::string text = ReadTextLine(dark, line);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

bool ShowsCentredText(const DotReader& dark, unsigned line, std::string_view text)
{
    const auto band = saturn::RenderTextBand(text, saturn::CentredColumn(text));
    if (!band)
        return false;
    for (unsigned row = 0; row < saturn::GlyphHeight; ++row)
        for (unsigned x = 0; x < saturn::LcdWidth; ++x) {
            const bool expected = (*band)[row * saturn::LcdLineNibbles + x / 4] >> (x % 4) & 1;
            if (dark(x, line * saturn::GlyphHeight + row) != expected)
                return false;
        }
    return true;
}

} // namespace test
