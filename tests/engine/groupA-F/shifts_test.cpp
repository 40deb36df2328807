// Shifts, complements and the moves around them: cases worked out by hand,
// each given for the hexadecimal and the decimal member.
#include "tests/engine/groupA-F/field_harness.h"

using namespace fieldtest;

namespace {

struct TwoModeCase {
    Case Hex;
    uint64_t DecimalResult;
};

TEST(Shifts, ShiftsMoveRawNibblesAndComplementsDifferByMode)
{
    const TwoModeCase cases[] = {
        {{"BF4", 0, 0xF000000000000010u, 0, 'A', 0x0F00000000000001u, -1, false}, 0x0F00000000000001u}, // ASR, W
        {{"BF4", 0, 0x00F0000000000001u, 0, 'A', 0x000F000000000000u, -1, true}, 0x000F000000000000u},
        {{"BD4", 0, 0xA123456789ABC5DEu, 0, 'A', 0xA0123456789AB5DEu, -1, true}, 0xA0123456789AB5DEu},  // ASR, M
        {{"BF0", 0, 0xF123456789ABCDEFu, 0, 'A', 0x123456789ABCDEF0u, -1, false}, 0x123456789ABCDEF0u}, // ASL, W
        {{"B90", 8, 0x123456789ABCDEF0u, 0, 'A', 0x12345679ABCDEF00u, -1, false}, 0x12345679ABCDEF00u}, // ASL, WP
        {{"BB8", 0, 0x7000000000000000u, 0, 'A', 0x7000000000000000u, 0, false}, 0x7000000000000000u}, // A=-A, X
        {{"BB8", 0, 0x001, 0, 'A', 0xFFF, 1, false}, 0x999},
        {{"BE8", 0, 0x50, 0, 'A', 0xB0, 1, false}, 0x50},                              // B
        {{"BE8", 0, 0xA0, 0, 'A', 0x60, 1, false}, 0x80},                              // A counts as 2
        {{"BF8", 0, 0x1, 0, 'A', ~uint64_t{0}, 1, false}, 0x9999999999999999u},         // W
        {{"F8", 0, 0xC0300, 0, 'A', 0x3FD00, 1, false}, 0x59700},                      // A=-A, A
        {{"B8C", 2, 0xA39, 0, 'A', 0x539, 0, false}, 0x739},                           // A=-A-1, P
        {{"FC3", 0, 0x00539, 0, 'A', 0xFFAC6, 0, false}, 0x99460},                     // A=-A-1, A
        {{"AC0", 0, 0xF00000000000000Fu, 0, 'A', 0xF, -1, false}, 0xF},                // A=0, S
        {{"BC0", 0, 0xF00000000000000Fu, 0, 'A', 0xF, -1, false}, 0xF},                // ASL, S
        {{"A90", 8, 0x123456789ABCDEF1u, 0, 'A', 0x1234567000000000u, -1, false}, 0x1234567000000000u}, // A=0, WP
        {{"AEA", 0, 0x66, 0xFEDCBA9876543210u, 'A', 0x10, -1, false}, 0x10},          // A=C, B
        {{"DE", 0, 0x5555555555555123u, 0xFEDCBA9876543ABCu, 'C', 0xFEDCBA9876555123u, -1, false},
         0xFEDCBA9876555123u}, // CAEX, A
    };
    for (const TwoModeCase& c : cases) {
        RunCase(c.Hex, Mode::Hex);
        Case decimal = c.Hex;
        decimal.Result = c.DecimalResult;
        RunCase(decimal, Mode::Decimal);
    }
}

} // namespace
