// The Saturn instructions whose text fixes every nibble, spelled as the
// helper library's disassembler spells them ("A=A+B.A", "?ST=1.15",
// "D0=D0+16", "DAT1=C.W"), with their opcodes.
#pragma once

#include <string>
#include <unordered_map>

namespace saturn {

struct FixedForm {
    // The opcode's nibbles in fetch order, as hexadecimal digits.
    std::string Nibbles;
    // A test: a GOYES or RTNYES tail of two nibbles follows.
    bool Test = false;
};

// Keyed by the upper-case text. Where two opcodes share a text (the field
// codes 8 to F that all mean A, the scratch numbers 5 to 7 that repeat R1 to
// R3, the long 15x form of fields A and B), the table holds one of them.
const std::unordered_map<std::string, FixedForm>& FixedForms();

// The field names by field code 0 to 7, and the code used for field A in
// the opcodes whose field nibble has sixteen values.
inline constexpr const char* FieldNames[8] = {"P", "WP", "XS", "X", "S", "M", "B", "W"};
inline constexpr unsigned WideFieldA = 0xF;

} // namespace saturn
