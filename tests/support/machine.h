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
    uint8_t peek(uint32_t address) const { return Rom[address & 0xFFFFF]; }

    void step(unsigned count = 1);
    // Steps until PC equals address, at most limit steps; false on the limit.
    bool stepUntil(uint32_t address, unsigned limit = 100000);

    std::vector<uint8_t> Rom;
};

// The register's 64-bit value in the live form of the current mode.
uint64_t Value(const korvane::NibbleRegister& r);
// Writes the value into both forms, so that it holds in either mode.
void SetValue(korvane::NibbleRegister& r, uint64_t value);

} // namespace test
