// The disassembler's reading and writing: nibbles fetched through the
// library's nibble reads, formats expanded into the caller's buffer, and the
// export.
#include "helper/disassembler/disassembler.h"

#include <new>

#include "tessock.h"

namespace tessock {

DisassemblyContext* Disassembly = nullptr;

namespace {

const char* const FieldNames[16] = {"P", "WP", "XS", "X", "S", "M", "B", "W", "A", "A", "A", "A", "A", "A", "A", "A"};
const char* const FirstRegisters[4] = {"A", "B", "C", "D"};
const char* const SecondRegisters[4] = {"B", "C", "A", "C"};
// Scratch numbers 5 to 7 name R1 to R3 again, as the processor treats them.
const char* const ScratchRegisters[8] = {"R0", "R1", "R2", "R3", "R4", "R1", "R2", "R3"};

char HexDigit(uint32_t nibble)
{
    return "0123456789ABCDEF"[nibble & 0xF];
}

} // namespace

void CreateDisassemblyContext()
{
    if (!Disassembly)
        Disassembly = new (std::nothrow) DisassemblyContext();
}

void ReleaseDisassemblyContext()
{
    delete Disassembly;
    Disassembly = nullptr;
}

uint32_t DisassemblyContext::Disassemble(uint32_t address, uint32_t size, char* buffer)
{
    // Size 0 has no room even for the NUL: size - 1 must not wrap.
    Output = size != 0 ? buffer : nullptr;
    Capacity = Output ? size - 1 : 0;
    return DisassembleAt(address);
}

uint32_t DisassemblyContext::DisassembleAt(uint32_t address)
{
    Length = 0;
    FetchAddress = address;
    DecodeInstruction();
    if (Output)
        Output[Length] = '\0';
    return FetchAddress;
}

uint32_t DisassemblyContext::FetchNibble()
{
    return KHReadNibble(FetchAddress++);
}

uint64_t DisassemblyContext::FetchValue(unsigned count)
{
    uint64_t value = 0;
    for (unsigned i = 0; i < count; ++i)
        value |= uint64_t{FetchNibble()} << (4 * i);
    return value;
}

int32_t DisassemblyContext::FetchSigned(unsigned count)
{
    const uint32_t value = static_cast<uint32_t>(FetchValue(count));
    const uint32_t sign = 1u << (4 * count - 1);
    return static_cast<int32_t>((value ^ sign) - sign);
}

void DisassemblyContext::AppendChar(char c)
{
    if (Length < Capacity)
        Output[Length++] = c;
}

void DisassemblyContext::AppendText(const char* text)
{
    while (*text && Length < Capacity)
        Output[Length++] = *text++;
}

void DisassemblyContext::AppendDecimal(uint32_t value)
{
    char digits[10];
    unsigned count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        AppendChar(digits[--count]);
}

void DisassemblyContext::AppendNibbleDigits(unsigned count)
{
    // Every nibble is read whether or not its digit fits, so that the next
    // address is the instruction's whatever the buffer.
    char digits[16];
    for (unsigned i = 0; i < count; ++i)
        digits[i] = HexDigit(FetchNibble());
    while (count > 0)
        AppendChar(digits[--count]);
}

void DisassemblyContext::ExpandFormat(const char* format)
{
    for (const char* at = format; *at; ++at) {
        if (*at != '%') {
            AppendChar(*at);
            continue;
        }
        const char code = *++at;
        switch (code) {
        case '\0':
            return;
        case '.': AppendChar('.'); break;
        case '_': AppendChar('\t'); break;
        case 'f': AppendText(FieldNames[FieldCode & 15]); break;
        case 'r': AppendText(FirstRegisters[PairIndex & 3]); break;
        case 's': AppendText(SecondRegisters[PairIndex & 3]); break;
        case 't': AppendText(ScratchRegisters[ScratchIndex & 7]); break;
        case 'x': AppendDecimal(Immediate); break;
        case 'X': AppendDecimal(Immediate + 1); break;
        case 'a':
            if (const char* name = FindSymbol(Target)) {
                AppendText(name);
            } else {
                AppendChar('#');
                for (int shift = 16; shift >= 0; shift -= 4)
                    AppendChar(HexDigit(Target >> shift));
            }
            break;
        default:
            if (code >= '0' && code <= '9')
                AppendNibbleDigits(static_cast<unsigned>(code - '0'));
            break;
        }
    }
}

// Spelled as front ends and scripts look for it.
void DisassemblyContext::Unknown(const char* prefix, uint32_t nibble, const char* suffix)
{
    AppendText("Unkown:");
    AppendText(prefix);
    AppendChar(HexDigit(nibble));
    AppendText(suffix);
}

// GOYES or RTNYES on an 8-bit offset counted from its own first nibble.
void DisassemblyContext::BranchSuffix()
{
    const uint32_t base = FetchAddress;
    const int32_t offset = FetchSigned(2);
    if (offset == 0) {
        AppendText(" RTNYES");
        return;
    }
    SetTarget(base, offset);
    ExpandFormat(" GOYES %a");
}

// Wrapped as the processor wraps a jump, so that the name of the address
// the jump really reaches is found.
void DisassemblyContext::SetTarget(uint32_t base, int32_t offset)
{
    Target = (base + static_cast<uint32_t>(offset)) & 0xFFFFF;
}

// A jump on an offset of width nibbles, counted from the offset's first
// nibble or, for the calls, from the next instruction.
void DisassemblyContext::RelativeJump(unsigned width, const char* format, bool fromNext)
{
    const uint32_t base = FetchAddress;
    const int32_t offset = FetchSigned(width);
    SetTarget(fromNext ? FetchAddress : base, offset);
    ExpandFormat(format);
}

void DisassemblyContext::AbsoluteJump(const char* format)
{
    Target = static_cast<uint32_t>(FetchValue(5));
    ExpandFormat(format);
}

// A nibble operand n, shown as n or n + 1.
void DisassemblyContext::NibbleForm(const char* format)
{
    Immediate = FetchNibble();
    ExpandFormat(format);
}

// LC and LA: a count nibble n, then n + 1 digits.
void DisassemblyContext::LoadConstant(const char* format)
{
    NibbleForm(format);
    AppendNibbleDigits(Immediate + 1);
}

// A scratch-register nibble: 0 to 7 with A, 8 to F with C.
void DisassemblyContext::ScratchTransfer(const char* withA, const char* withC)
{
    const uint32_t n = FetchNibble();
    ScratchIndex = n & 7;
    ExpandFormat(n < 8 ? withA : withC);
}

} // namespace tessock

using namespace tessock;

extern "C" {

uint32_t KHDisassemble(uint32_t address, uint32_t size, char* buffer)
{
    if (!Disassembly) {
        if (buffer && size != 0)
            buffer[0] = '\0';
        return address;
    }
    return Disassembly->Disassemble(address, size, buffer);
}

} // extern "C"
