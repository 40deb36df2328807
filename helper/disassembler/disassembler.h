// The disassembler: one Saturn instruction at a calculator address, read
// nibble by nibble through the library's own nibble reads, as text, with
// jump and branch targets shown by the names of the symbol list.
//
// Decoding descends one nibble level at a time; each leaf picks a format
// and sets the operands it refers to, and ExpandFormat writes the text:
//
//     %.  a "."            %f  the field of FieldCode
//     %_  a TAB            %r  the first register of PairIndex
//     %x  Immediate        %s  the second register of PairIndex
//     %X  Immediate + 1    %t  the scratch register of ScratchIndex
//     %a  Target: its symbol, else "#" and five hexadecimal digits
//     %d  (a digit d) the next d nibbles, read as a value, most significant
//         digit first
//
// The whole text is cut to the caller's buffer; the nibbles read, and so
// the next address, never depend on it.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

namespace tessock {

class DisassemblyContext {
public:
    // Writes the text at address into buffer (at most size bytes, the NUL
    // included; nothing for size 0 or a null buffer) and returns the
    // address after the instruction.
    uint32_t Disassemble(uint32_t address, uint32_t size, char* buffer);

    // Registers name for address + SymbolBase; the first name registered
    // for an address stays.
    void AddSymbol(uint32_t address, const char* name);
    // The name registered for exactly this address, or null.
    const char* FindSymbol(uint32_t address) const;
    void SetSymbolBase(uint32_t base) { SymbolBase = base; }

private:
    uint32_t DisassembleAt(uint32_t address);

    // Reading and writing.
    uint32_t FetchNibble();
    // count nibbles (up to 16) as a value, the first read the lowest.
    uint64_t FetchValue(unsigned count);
    int32_t FetchSigned(unsigned count);
    void AppendChar(char c);
    void AppendText(const char* text);
    void AppendDecimal(uint32_t value);
    // Reads count nibbles and writes them as hexadecimal digits, the first
    // read as the last digit.
    void AppendNibbleDigits(unsigned count);
    void ExpandFormat(const char* format);
    // An undefined code: "Unkown:", then its code text, in which the
    // nibble that made it undefined shows as a digit and the others as X.
    void Unknown(const char* prefix, uint32_t nibble, const char* suffix);

    // Endings shared by several rows.
    void BranchSuffix();
    void SetTarget(uint32_t base, int32_t offset);
    void RelativeJump(unsigned width, const char* format, bool fromNext);
    void AbsoluteJump(const char* format);
    void NibbleForm(const char* format);
    void LoadConstant(const char* format);
    void ScratchTransfer(const char* withA, const char* withC);

    // One decoder per nibble level of the opcode map.
    void DecodeInstruction();
    void DecodeGroup0();
    void DecodeGroup1();
    void DecodeGroup8();
    void DecodeGroup80();
    void DecodeGroup808();
    void DecodeGroup81();
    void DecodeGroup818();
    void DecodeGroup819();
    void DecodeGroup81A();
    void DecodeGroup81B();
    void DecodeHstClear();
    void DecodeTest(unsigned firstFormat);
    void DecodeArithmetic(unsigned firstFormat);

    uint32_t FetchAddress = 0; // next nibble to read; not wrapped at 20 bits
    uint32_t Capacity = 0;     // characters that fit before the NUL
    uint32_t Length = 0;       // characters written so far
    char* Output = nullptr;    // null: the text goes nowhere
    uint32_t FieldCode = 0;
    uint32_t PairIndex = 0;
    uint32_t ScratchIndex = 0;
    uint32_t Immediate = 0;
    uint32_t Target = 0;

    // Names by calculator address. A hash keeps adding and finding a name
    // as cheap with a whole ROM's entry points as with a few.
    std::unordered_map<uint32_t, std::string> Symbols;
    uint32_t SymbolBase = 0;
};

// The library's one context: created when the library starts, released
// when it stops; the exports do nothing while there is none.
extern DisassemblyContext* Disassembly;

void CreateDisassemblyContext();
void ReleaseDisassemblyContext();

} // namespace tessock
