// What the object tests stand on: a measuring routine of the test's own at
// 0x3019, objects of a few prolog kinds, and the machine state to compare
// before and after each call.
#pragma once

#include <algorithm>
#include <array>
#include <vector>

#include "tests/helper/support/calculator.h"

namespace test {

using Nibbles = std::vector<uint8_t>;

// Moves D0 past the object at D0: a system binary (02911) is 10 nibbles, a
// string (02A2C) or code object (02DCC) 5 plus its length field, which
// counts itself, and anything else 5.
inline Program MeasuringRoutine()
{
    Program p(0x3019);
    p.op("142").op("164");                       // A=DAT0 A (the prolog), D0=D0+ 5
    p.lc(5, 0x02911).op("8A2").goyes("fixed");   // ?C=A A
    p.lc(5, 0x02A2C).op("8A2").goyes("sized");
    p.lc(5, 0x02DCC).op("8A2").goyes("sized");
    p.rtn();
    p.label("fixed").op("164").rtn();
    p.label("sized").op("146").op("132");        // C=DAT0 A, AD0EX
    p.op("CA").op("130").rtn();                  // A=A+C A, D0=A
    return p;
}

inline Nibbles Word(uint64_t value, unsigned count = 5)
{
    Nibbles word;
    for (unsigned i = 0; i < count; ++i)
        word.push_back(static_cast<uint8_t>((value >> (4 * i)) & 15));
    return word;
}

inline Nibbles operator+(Nibbles a, const Nibbles& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A string of count body nibbles in a pattern: 10 + count nibbles.
inline Nibbles String(size_t count)
{
    Nibbles body(count);
    for (size_t i = 0; i < count; ++i)
        body[i] = static_cast<uint8_t>((i * 7 + 5) & 15);
    return Word(0x02A2C) + Word(5 + count) + body;
}

inline Nibbles SystemBinary(uint32_t value)
{
    return Word(0x02911) + Word(value);
}

using State = std::array<uint8_t, 512>;

inline State SaveState()
{
    State state{};
    KVSaveState(state.data(), static_cast<uint32_t>(state.size()));
    return state;
}

// Registers, return stack and memory map; the bytes past the snapshot carry nothing.
inline bool SameState(const State& a, const State& b)
{
    return std::equal(a.begin(), a.begin() + KV_STATE_SIZE, b.begin());
}

} // namespace test
