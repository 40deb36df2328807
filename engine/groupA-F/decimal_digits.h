// The digit arithmetic of the decimal members of groups A to F: what a
// nibble counts for as a digit, and sums over all the digits of a field at
// once, one byte per digit in a word.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "engine/core/cpu_state.h"
#include "engine/core/fields.h"

namespace korvane {

// What a nibble counts for as a decimal digit. A to F count as 2 to 7, so
// every digit that decimal arithmetic writes back is 0 to 9.
inline constexpr uint8_t DecimalDigitValue[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 2, 3, 4, 5, 6, 7};

// Decimal addition and subtraction over a field take all its digits at once,
// one byte each in a word (nibble k in byte k): 64 bits where the field ends
// by nibble 7, else 128. The field is a mask of 0xFF bytes; the digits
// outside it are zero in every term.
using DigitWord128 = unsigned __int128;

template <Field F>
using DigitWord = std::conditional_t<F == Field::A || F == Field::X || F == Field::XS || F == Field::B, uint64_t,
                                     DigitWord128>;

template <typename Word>
constexpr Word RepeatByte(uint8_t byte)
{
    Word word = 0;
    for (unsigned k = 0; k < sizeof(Word); ++k)
        word = word << 8 | byte;
    return word;
}

template <typename Word>
inline Word LoadDigits(const NibbleRegister& r)
{
    Word word;
    std::memcpy(&word, r.Nibbles, sizeof word);
    return word;
}

// The field's bytes, nibbles lo to hi.
template <typename Word>
constexpr Word DigitFieldMask(unsigned lo, unsigned hi)
{
    const Word upTo = hi + 1 >= sizeof(Word) ? ~Word{0} : (Word{1} << (8 * (hi + 1))) - 1;
    return upTo & ~((Word{1} << (8 * lo)) - 1);
}

// Every nibble by its digit value: 10 to 15 lose 8. A nibble's byte plus
// 0x76 reaches bit 7 exactly from 10 on.
template <typename Word>
inline Word DigitValues(Word nibbles)
{
    const Word atLeastTen = ((nibbles + RepeatByte<Word>(0x76)) >> 7) & RepeatByte<Word>(0x01);
    return nibbles - (atLeastTen << 3);
}

// The digit sum of x and y (digits 0 to 9 in the field, 0 outside) plus
// carryIn at the field's lowest digit. Each field byte starts from 0xF6, so
// it carries into the next exactly when its digits reach ten, and then holds
// the digit left over; a byte that did not carry still has its bit 7 set and
// gives the 0xF6 back. Returns the field's digits; carryOut is the carry out
// of its highest digit.
template <typename Word>
inline Word DecimalFieldSum(Word x, Word y, unsigned carryIn, Word field, unsigned lo, unsigned hi,
                            unsigned& carryOut)
{
    const Word total = x + y + (field & RepeatByte<Word>(0xF6)) + (Word{carryIn} << (8 * lo));
    const Word kept = (total >> 7) & RepeatByte<Word>(0x01) & field; // no carry out of these bytes
    carryOut = static_cast<unsigned>((total >> (8 * hi + 7)) & 1) ^ 1;
    return (total - kept * 0xF6) & field;
}

// Writes the field's bytes of digits into the register; the others stay.
template <typename Word>
inline void StoreDigits(NibbleRegister& r, Word field, Word digits)
{
    const Word word = (LoadDigits<Word>(r) & ~field) | digits;
    std::memcpy(r.Nibbles, &word, sizeof word);
}

} // namespace korvane
