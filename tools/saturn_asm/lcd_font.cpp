#include "saturn_asm/lcd_font.h"

namespace saturn {

namespace {

// 3 by 5 glyphs from 0x20 to 0x5F, five rows of three dots each, top row
// first, '1' a dark dot and the leftmost dot written first.
constexpr const char* Glyphs[] = {
    "000 000 000 000 000", // space
    "010 010 010 000 010", // !
    "101 101 000 000 000", // "
    "101 111 101 111 101", // #
    "011 110 010 011 110", // $
    "101 001 010 100 101", // %
    "010 101 010 101 011", // &
    "010 010 000 000 000", // '
    "001 010 010 010 001", // (
    "100 010 010 010 100", // )
    "000 101 010 101 000", // *
    "000 010 111 010 000", // +
    "000 000 000 010 100", // ,
    "000 000 111 000 000", // -
    "000 000 000 000 010", // .
    "001 001 010 100 100", // /
    "111 101 101 101 111", // 0
    "010 110 010 010 111", // 1
    "111 001 111 100 111", // 2
    "111 001 111 001 111", // 3
    "101 101 111 001 001", // 4
    "111 100 111 001 111", // 5
    "111 100 111 101 111", // 6
    "111 001 001 001 001", // 7
    "111 101 111 101 111", // 8
    "111 101 111 001 111", // 9
    "000 010 000 010 000", // :
    "000 010 000 010 100", // ;
    "001 010 100 010 001", // <
    "000 111 000 111 000", // =
    "100 010 001 010 100", // >
    "111 001 011 000 010", // ?
    "010 101 111 100 011", // @
    "010 101 111 101 101", // A
    "110 101 110 101 110", // B
    "011 100 100 100 011", // C
    "110 101 101 101 110", // D
    "111 100 110 100 111", // E
    "111 100 110 100 100", // F
    "011 100 101 101 011", // G
    "101 101 111 101 101", // H
    "111 010 010 010 111", // I
    "001 001 001 101 010", // J
    "101 101 110 101 101", // K
    "100 100 100 100 111", // L
    "101 111 111 101 101", // M
    "110 101 101 101 101", // N
    "010 101 101 101 010", // O
    "110 101 110 100 100", // P
    "010 101 101 111 011", // Q
    "110 101 110 101 101", // R
    "011 100 010 001 110", // S
    "111 010 010 010 010", // T
    "101 101 101 101 111", // U
    "101 101 101 101 010", // V
    "101 101 111 111 101", // W
    "101 101 010 101 101", // X
    "101 101 010 010 010", // Y
    "111 001 010 100 111", // Z
    "011 010 010 010 011", // [
    "100 100 010 001 001", // backslash
    "110 010 010 010 110", // ]
    "010 101 000 000 000", // ^
    "000 000 000 000 111", // _
};

static_assert(sizeof Glyphs / sizeof Glyphs[0] == LastGlyph - FirstGlyph + 1);

} // namespace

std::optional<std::array<uint8_t, GlyphHeight>> GlyphRows(char c)
{
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    if (c < FirstGlyph || c > LastGlyph)
        return std::nullopt;
    const char* glyph = Glyphs[c - FirstGlyph];
    std::array<uint8_t, GlyphHeight> rows{};
    for (unsigned row = 0; row < 5; ++row)
        for (unsigned dot = 0; dot < 3; ++dot)
            if (glyph[row * 4 + dot] == '1')
                rows[row] |= static_cast<uint8_t>(1u << dot);
    return rows;
}

std::optional<std::vector<uint8_t>> RenderTextBand(std::string_view text, unsigned x)
{
    if (x + GlyphWidth * text.size() > LcdLineNibbles * 4)
        return std::nullopt;
    std::vector<uint8_t> band(GlyphHeight * LcdLineNibbles, 0);
    for (size_t k = 0; k < text.size(); ++k) {
        const auto rows = GlyphRows(text[k]);
        if (!rows)
            return std::nullopt;
        for (unsigned row = 0; row < GlyphHeight; ++row)
            for (unsigned dot = 0; dot < GlyphWidth; ++dot)
                if ((*rows)[row] >> dot & 1) {
                    const unsigned column = x + static_cast<unsigned>(k) * GlyphWidth + dot;
                    band[row * LcdLineNibbles + column / 4] |= static_cast<uint8_t>(1u << (column % 4));
                }
    }
    return band;
}

unsigned CentredColumn(std::string_view text)
{
    const unsigned cells = LcdWidth / GlyphWidth;
    return text.size() >= cells ? 0 : static_cast<unsigned>((cells - text.size()) / 2) * GlyphWidth;
}

} // namespace saturn
