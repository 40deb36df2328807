// A machine for tests: the engine stopped and brought back to a known state,
// a flat ROM image that programs are placed in, and helpers to run them.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/cpu_state.h"
#include "korvane.h"
#include "tests/support/program.h"

namespace test {

// A nibble buffer with the slack every lent buffer must have.
std::vector<uint8_t> NibbleBuffer(uint32_t nibbles);

class Machine {
public:
    // Stops the engine, clears the processor, resets the memory map and
    // attaches a zeroed ROM that answers at every address.
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Places the program in the ROM image and points PC at its origin.
    void load(const Program& program);
    // Places the program without touching PC.
    void place(const Program& program);
    // Writes nibbles (hexadecimal digits, in address order) into the ROM image.
    void poke(uint32_t address, const char* hexDigits);
    void step(unsigned count = 1);

    std::vector<uint8_t> Rom;
};

// The register's 64-bit value in the live form of the current mode.
uint64_t Value(const korvane::NibbleRegister& r);
// Writes the value into both forms, so that it holds in either mode.
void SetValue(korvane::NibbleRegister& r, uint64_t value);

// Marks the form of A to D that is not live in a mode, so that a handler that
// writes it, or computes from it, shows: nibble bytes of 0x40 and more, which
// no live byte holds, or packed words of a pattern of their own. The marks
// differ between registers in every nibble, so that a handler reading the
// wrong form of two registers does not see them agree.
void MarkNotLive(korvane::NibbleRegister& r, bool decimal);
// The form that is not live still holds its mark.
bool NotLiveIntact(const korvane::NibbleRegister& r, bool decimal);

} // namespace test
