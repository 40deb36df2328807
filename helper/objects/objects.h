// Placing calculator objects straight into the emulated memory: on the data
// stack, or as a named entry in port 1. An object's length is not taken
// from the caller: the calculator's own ROM measures it, by the routine at
// 0x3019 that moves D0 past the object it points at.
#pragma once

#include <cstdint>

namespace tessock {

inline constexpr uint32_t MeasuringRoutine = 0x3019;

// Saves the whole machine state on construction and puts it back on
// destruction: registers, return stack and memory map are as before.
// Saving stops the engine, which stays stopped.
class SavedMachine {
public:
    SavedMachine();
    ~SavedMachine();
    SavedMachine(const SavedMachine&) = delete;
    SavedMachine& operator=(const SavedMachine&) = delete;

private:
    uint8_t State[512];
};

// Runs the measuring routine with D0 at address in the memory map of the
// moment and returns how far D0 moved (20-bit, so a D0 that went backwards
// reads as a length far beyond any object). Call it inside a SavedMachine.
uint32_t RunMeasuringRoutine(uint32_t address);

// The length in nibbles of the object at a calculator address, in the
// current memory map; the machine is left as it was.
uint32_t MeasureObject(uint32_t address);

// CRC-16/KERMIT over nibbles, four bits a step, as the calculator checks a
// port entry.
uint32_t NibbleCrc(const uint8_t* nibbles, uint32_t count);

} // namespace tessock
