// A Saturn source assembler: text in, nibbles at addresses out.
//
// One statement per line, a ';' starts a comment:
//
//     start:  LC(5)   #80000          ; a label, an instruction, an operand
//             ?A=0.W  GOYES done      ; a test with its branch
//     DISPLAY = #81000                ; a constant (also: DISPLAY EQU #81000)
//             CON(5)  DISPLAY+34*6    ; data
//
// Instructions are written as the helper library's disassembler prints
// them, with labels or expressions in place of targets and constants:
// "A=A+B.A", "LC(5) #12345", "P= #5" (the disassembler's decimal after '#'),
// "D0=(5) #80000", "GOSBVL #0679B", "?ST=1.3 RTNYES". A constant addition
// "A=A+k" works on field A unless a field follows ("A=A+4.W"); "NOP5" is
// assembled as the five nibbles that the processor skips.
//
// Expressions: numbers (decimal, #hex, 0xhex, 'c'), labels and constants,
// '$' (the statement's own address), + - * / % & | ^ << >> ~ and
// parentheses.
//
// Directives: ORG a (place what follows at address a), ALIGN n, NIBHEX
// digits (nibbles in address order), NIB v,..., CON(n) v,... (n-nibble
// values, low nibble first), BYTE v,... (two nibbles each), ASCII "text"
// (two nibbles a character, low first), TEXT x, "text" and TEXTC "text" (a
// band of 6 LCD lines showing the text in the built-in font from dot column
// x, or centred), FONT (the font's glyph rows, 6 nibbles per character from
// space to underscore).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace saturn {

struct SourceFile {
    std::string Name;
    std::string Text;
};

struct Diagnostic {
    std::string File;
    unsigned Line = 0;
    std::string Message;
    // "file:line: error: message"
    std::string text() const;
};

struct Chunk {
    uint32_t Address = 0;
    std::vector<uint8_t> Nibbles;
};

struct Assembly {
    std::vector<Chunk> Chunks;
    std::map<std::string, int64_t> Symbols;
    std::vector<Diagnostic> Errors;

    bool ok() const { return Errors.empty(); }
    // Writes every nibble into image (one nibble per byte, indexed by
    // address); false, with nothing written, when a chunk does not fit.
    bool place(std::vector<uint8_t>& image) const;
    // The nibbles from the lowest placed address to the highest, gaps as 0.
    std::vector<uint8_t> flat() const;
};

// The files are one program: labels are shared, statements follow in order.
Assembly Assemble(const std::vector<SourceFile>& sources);
Assembly Assemble(std::string_view text);

} // namespace saturn
