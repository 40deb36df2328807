// Add, subtract, increment and decrement: cases worked out by hand.
#include "tests/engine/groupA-F/field_harness.h"

using namespace fieldtest;

namespace {

constexpr uint64_t Nines = 0x9999999999999999u;

TEST(AddSubtract, HexCarriesLeaveTheFieldAtTheTopOfAWordAndCrossTheSeam)
{
    const Case cases[] = {
        {"A00", 15, 0x9123456789ABCDEFu, 0x8000000000000000u, 'A', 0x1123456789ABCDEFu, 1, false}, // A=A+B, P
        {"A10", 7, 0x55555555F0000001u, 0x6666666610000002u, 'A', 0x5555555500000003u, 1, false},  // WP, P = 7
        {"A10", 15, ~uint64_t{0}, 2, 'A', 1, 1, false},                                          // WP, P = 15
        {"A40", 0, 0xF123456789ABCDEFu, 0xF000000000000000u, 'A', 0xE123456789ABCDEFu, 1, false}, // field S
        {"B14", 7, 0x00000004FFFFFFFFu, 0, 'A', 0x0000000400000000u, 1, false},                 // A=A+1, WP
        {"B14", 8, 0x00000004FFFFFFFFu, 0, 'A', 0x0000000500000000u, 0, false},
        {"A7C", 0, 0, 0, 'A', ~uint64_t{0}, 1, false},                                           // A=A-1, W
        {"B5E", 0, 0x1000000000001ABCu, 0x7000000000002DEFu, 'C', 0x7FFFFFFFFFFFFDEFu, 1, false}, // C=A-C, M
    };
    for (const Case& c : cases)
        RunCase(c, Mode::Hex);
}

// Add and subtract rewrite every digit, a nibble above 9 counting as 2 to
// 7; increment and decrement stop at the first digit that holds.
TEST(AddSubtract, DecimalDigitsFollowTheirDigitValues)
{
    const Case cases[] = {
        {"A70", 0, Nines, Nines, 'A', 0x9999999999999998u, 1, false},      // A=A+B, W
        {"A10", 3, 0x50009, 0x00001, 'A', 0x50010, 0, false},               // WP, P = 3
        {"A10", 3, 0x59999, 0x00001, 'A', 0x50000, 1, false},
        {"A00", 5, 0xF00000, 0, 'A', 0x700000, 0, false},                   // F counts as 7
        {"A44", 0, 0xE000000000000000u, 0, 'A', 0x2000000000000000u, 1, false}, // A=A+A, S
        {"CA", 0, 0xAB0C5, 0xF0D07, 'A', 0x93552, 0, false},                 // A=A+C: 23045 + 70507
        {"B00", 4, 0, 0x10000, 'A', 0x90000, 1, false},                     // A=A-B, P
        {"EE", 0, 0x1234500000000000u, 0x00001, 'C', 0x99999, 1, false},    // C=A-C, A
        {"B34", 0, 0x099, 0, 'A', 0x100, 0, false},                         // A=A+1, X
        {"B34", 0, 0xF99, 0, 'A', 0x800, 0, false},
        {"B34", 0, 0xAF1, 0, 'A', 0xAF2, 0, false},
        {"B74", 0, Nines, 0, 'A', 0, 1, false},                             // A=A+1, W
        {"A3C", 0, 0xC50, 0, 'A', 0xC49, 0, false},                         // A=A-1, X
        {"A6C", 0, 0xA0, 0, 'A', 0x19, 0, false},                           // A=A-1, B
        {"A5C", 0, 0x7000000000000000u, 0, 'A', 0x7999999999999000u, 1, false}, // A=A-1, M
    };
    for (const Case& c : cases)
        RunCase(c, Mode::Decimal);
}

} // namespace
