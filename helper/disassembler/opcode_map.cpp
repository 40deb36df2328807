// The Saturn opcode map as the disassembler descends it, one decoder per
// nibble level. The nibbles a decoder reads are the instruction's length.
#include "helper/disassembler/disassembler.h"

namespace tessock {

namespace {

// Tests of opcode groups 9 and 8A/8B, each followed by GOYES or RTNYES.
const char* const TestFormats[8] = {
    "?%r=%s%.%f",  // ?A=B.f
    "?%r#%s%.%f",  // ?A#B.f
    "?%r=0%.%f",   // ?A=0.f
    "?%r#0%.%f",   // ?A#0.f
    "?%r>%s%.%f",  // ?A>B.f
    "?%r<%s%.%f",  // ?A<B.f
    "?%r>=%s%.%f", // ?A>=B.f
    "?%r<=%s%.%f", // ?A<=B.f
};

// Field arithmetic of opcode groups A to F.
const char* const ArithmeticFormats[16] = {
    "%r=%r+%s%.%f", // A=A+B.f
    "%r=%r+%r%.%f", // A=A+A.f
    "%s=%s+%r%.%f", // B=B+A.f
    "%r=%r-1%.%f",  // A=A-1.f
    "%r=0%.%f",     // A=0.f
    "%r=%s%.%f",    // A=B.f
    "%s=%r%.%f",    // B=A.f
    "%r%sEX%.%f",   // ABEX.f
    "%r=%r-%s%.%f", // A=A-B.f
    "%r=%r+1%.%f",  // A=A+1.f
    "%s=%s-%r%.%f", // B=B-A.f
    "%r=%s-%r%.%f", // A=B-A.f
    "%rSL.%f",      // ASL.f
    "%rSR%.%f",     // ASR.f
    "%r=-%r%.%f",   // A=-A.f
    "%r=-%r-1%.%f", // A=-A-1.f
};

// 0n
const char* const Group0[16] = {
    "RTNSXM", "RTN",  "RTNSC", "RTNCC", "SETHEX", "SETDEC", "RSTK=C", "C=RSTK",
    "CLRST",  "C=ST", "ST=C",  "CSTEX", "P=P+1",  "P=P-1",  nullptr,  "RTI",
};

// 0Efa, by a >> 2
const char* const LogicFormats[4] = {
    "%r=%r&%s%.%f", // A=A&B.f
    "%s=%s&%r%.%f", // B=B&A.f
    "%r=%r!%s%.%f", // A=A!B.f
    "%s=%s!%r%.%f", // B=B!A.f
};

// 13n
const char* const PointerTransfers[16] = {
    "D0=A",  "D1=A",  "AD0EX", "AD1EX", "D0=C",  "D1=C",  "CD0EX", "CD1EX",
    "D0=AS", "D1=AS", "AD0XS", "AD1XS", "D0=CS", "D1=CS", "CD0XS", "CD1XS",
};

// 14n and 15an, by n & 7 and a & 7
const char* const MemoryTransfers[8] = {
    "DAT0=A", "DAT1=A", "A=DAT0", "A=DAT1", "DAT0=C", "DAT1=C", "C=DAT0", "C=DAT1",
};

// 83n, each followed by GOYES or RTNYES. Front ends compare these texts
// as they are, 83E's "?" in place of "&" included.
const char* const HstTests[16] = {
    "?0=0",            "?XM=0",           "?SB=0",           "?XM=0&SB=0",            // 830 .. 833
    "?SR=0",           "?XM=0&SR=0",      "?SB=0&SR=0",      "?XM=0&SB=0&SR=0",       // 834 .. 837
    "?MP=0",           "?XM=0&MP=0",      "?SB=0&MP=0",      "?XM=0&SB=0&MP=0",       // 838 .. 83B
    "?SR=0&MP=0",      "?XM=0&SR=0&MP=0", "?SB=0&SR=0?MP=0", "?XM=0&SB=0&SR=0&MP=0",  // 83C .. 83F
};

// 80x; 808x has a level of its own
const char* const Group80[16] = {
    "OUT=CS", "OUT=C", "A=IN",  "C=IN",  "UNCNFG",  "CONFIG",  "C=ID",  "SHUTDN",   // 800 .. 807
    nullptr,  "C+P+1", "RESET", "BUSCC", "C=P%.%x", "P=C%.%x", "SREQ?", "CPEX%.%x", // 808 .. 80F
};
// 80C, 80D and 80F carry a nibble.
constexpr bool Group80TakesNibble(uint32_t x)
{
    return x == 0xC || x == 0xD || x == 0xF;
}

// 808x; 8081 and 8082 have decoders of their own
const char* const Group808[16] = {
    "INTON",      nullptr,      nullptr,       "BUSCB",       // 8080 .. 8083
    "ABIT=0%.%x", "ABIT=1%.%x", "?ABIT=0%.%x", "?ABIT=1%.%x", // 8084 .. 8087
    "CBIT=0%.%x", "CBIT=1%.%x", "?CBIT=0%.%x", "?CBIT=1%.%x", // 8088 .. 808B
    "PC=(A)",     "BUSCD",      "PC=(C)",      "INTOFF",      // 808C .. 808F
};

// 81x; 818 to 81B have decoders of their own
const char* const Group81[16] = {
    "ASLC", "BSLC", "CSLC", "DSLC", "ASRC", "BSRC", "CSRC", "DSRC",
    nullptr, nullptr, nullptr, nullptr, "ASRB", "BSRB", "CSRB", "DSRB",
};

// 818fan, by a: constants added (0 to 3) or subtracted (8 to B)
const char* const ConstantArithmetic[16] = {
    "A=A+%X", "B=B+%X", "C=C+%X", "D=D+%X", nullptr, nullptr, nullptr, nullptr,
    "A=A-%X", "B=B-%X", "C=C-%X", "D=D-%X", nullptr, nullptr, nullptr, nullptr,
};

// 81Bx
const char* const Group81B[16] = {
    nullptr, nullptr, "PC=A", "PC=C", "A=PC", "C=PC", "APCEX", "CPCEX",
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// The names of the HST bits that 82n clears, bit 0 first.
const char* const HstBitNames[4] = {"XM=0", "SB=0", "SR=0", "MP=0"};

} // namespace

void DisassemblyContext::DecodeInstruction()
{
    const uint32_t first = FetchNibble();
    switch (first) {
    case 0x0: DecodeGroup0(); break;
    case 0x1: DecodeGroup1(); break;
    case 0x2: NibbleForm("P=%_#%x"); break;     // 2n  P=n
    case 0x3: LoadConstant("LC(%X)%_#"); break; // 3n  LC(n+1)
    case 0x4: // 4oo  GOC, RTNC
    case 0x5: // 5oo  GONC, RTNNC
    {
        const uint32_t base = FetchAddress;
        const int32_t offset = FetchSigned(2);
        if (offset == 0) {
            AppendText(first == 4 ? "RTNC" : "RTNNC");
            break;
        }
        SetTarget(base, offset);
        ExpandFormat(first == 4 ? "GOC%_%a" : "GONC%_%a");
        break;
    }
    case 0x6: // 6ooo  GOTO, and the two jumps over the next nibbles
    {
        const uint32_t base = FetchAddress;
        const int32_t offset = FetchSigned(3);
        if (offset == 3 || offset == 4) {
            AppendText(offset == 3 ? "NOP4" : "NOP5");
            break;
        }
        SetTarget(base, offset);
        ExpandFormat("GOTO%_%a");
        break;
    }
    case 0x7: RelativeJump(3, "GOSUB%_%a", true); break; // 7ooo  GOSUB
    case 0x8: DecodeGroup8(); break;
    case 0x9: { // 9ab  tests of field a & 7
        const uint32_t a = FetchNibble();
        FieldCode = a & 7;
        DecodeTest(a & 8 ? 4 : 0);
        break;
    }
    case 0xA:   // Aab  field arithmetic, formats 0 to 7
    case 0xB: { // Bab  field arithmetic, formats 8 to 15
        const uint32_t a = FetchNibble();
        FieldCode = a & 7;
        DecodeArithmetic((first == 0xB ? 8 : 0) + (a & 8 ? 4 : 0));
        break;
    }
    default: // Cb, Db, Eb, Fb  field A arithmetic
        FieldCode = 15;
        DecodeArithmetic((first - 0xC) * 4);
        break;
    }
}

// The nibble b picks the operation (b >> 2, counted from the family's
// first format) and the register pair (b & 3).
void DisassemblyContext::DecodeTest(unsigned firstFormat)
{
    const uint32_t b = FetchNibble();
    PairIndex = b & 3;
    ExpandFormat(TestFormats[firstFormat + (b >> 2)]);
    BranchSuffix();
}

void DisassemblyContext::DecodeArithmetic(unsigned firstFormat)
{
    const uint32_t b = FetchNibble();
    PairIndex = b & 3;
    ExpandFormat(ArithmeticFormats[firstFormat + (b >> 2)]);
}

void DisassemblyContext::DecodeGroup0()
{
    const uint32_t n = FetchNibble();
    if (n != 0xE) {
        AppendText(Group0[n]);
        return;
    }
    FieldCode = FetchNibble(); // 0Efa  logic
    const uint32_t a = FetchNibble();
    PairIndex = a & 3;
    ExpandFormat(LogicFormats[a >> 2]);
}

void DisassemblyContext::DecodeGroup1()
{
    const uint32_t second = FetchNibble();
    switch (second) {
    case 0x0: ScratchTransfer("%t=A", "%t=C"); break;   // 10n  R0=A ... R4=C
    case 0x1: ScratchTransfer("A=%t", "C=%t"); break;   // 11n  A=R0 ... C=R4
    case 0x2: ScratchTransfer("A%tEX", "C%tEX"); break; // 12n  AR0EX ... CR4EX
    case 0x3: AppendText(PointerTransfers[FetchNibble()]); break;
    case 0x4: { // 14n  DAT0=A.A ... C=DAT1.B
        const uint32_t n = FetchNibble();
        AppendText(MemoryTransfers[n & 7]);
        AppendText(n < 8 ? ".A" : ".B");
        break;
    }
    case 0x5: { // 15an  with a field (a < 8) or a nibble count
        const uint32_t a = FetchNibble();
        const uint32_t n = FetchNibble();
        AppendText(MemoryTransfers[a & 7]);
        if (a < 8) {
            FieldCode = n;
            ExpandFormat("%.%f");
        } else {
            Immediate = n;
            ExpandFormat("%.%X");
        }
        break;
    }
    case 0x6: NibbleForm("D0=D0+%X"); break;
    case 0x7: NibbleForm("D1=D1+%X"); break;
    case 0x8: NibbleForm("D0=D0-%X"); break;
    case 0x9: ExpandFormat("D0=(2)%_#%2"); break;
    case 0xA: ExpandFormat("D0=(4)%_#%4"); break;
    case 0xB: ExpandFormat("D0=(5)%_#%5"); break;
    case 0xC: NibbleForm("D1=D1-%X"); break;
    case 0xD: ExpandFormat("D1=(2)%_#%2"); break;
    case 0xE: ExpandFormat("D1=(4)%_#%4"); break;
    default: ExpandFormat("D1=(5)%_#%5"); break;
    }
}

void DisassemblyContext::DecodeGroup8()
{
    const uint32_t second = FetchNibble();
    switch (second) {
    case 0x0: DecodeGroup80(); break;
    case 0x1: DecodeGroup81(); break;
    case 0x2: DecodeHstClear(); break;
    case 0x3: AppendText(HstTests[FetchNibble()]); BranchSuffix(); break;
    case 0x4: NibbleForm("ST=0%.%x"); break;
    case 0x5: NibbleForm("ST=1%.%x"); break;
    case 0x6: NibbleForm("?ST=0%.%x"); BranchSuffix(); break;
    case 0x7: NibbleForm("?ST=1%.%x"); BranchSuffix(); break;
    case 0x8: NibbleForm("?P#%x"); BranchSuffix(); break;
    case 0x9: NibbleForm("?P=%x"); BranchSuffix(); break;
    case 0xA: // 8Ab  equality tests of field A
    case 0xB: // 8Bb  order tests of field A
        FieldCode = 15;
        DecodeTest(second == 0xB ? 4 : 0);
        break;
    case 0xC: RelativeJump(4, "GOLONG%_%a", false); break; // 8Coooo
    case 0xD: AbsoluteJump("GOVLNG%_%a"); break;           // 8Daaaaa
    case 0xE: RelativeJump(4, "GOSUBL%_%a", true); break;  // 8Eoooo
    default: AbsoluteJump("GOSBVL%_%a"); break;            // 8Faaaaa
    }
}

// 82n: the HST bits of n cleared
void DisassemblyContext::DecodeHstClear()
{
    const uint32_t n = FetchNibble();
    if (n == 0x0 || n == 0xF) {
        AppendText(n == 0 ? "NOP3" : "CLRHST");
        return;
    }
    const char* separator = "";
    for (unsigned bit = 0; bit < 4; ++bit) {
        if (n & (1u << bit)) {
            AppendText(separator);
            AppendText(HstBitNames[bit]);
            separator = " ";
        }
    }
}

void DisassemblyContext::DecodeGroup80()
{
    const uint32_t x = FetchNibble();
    if (x == 0x8) {
        DecodeGroup808();
        return;
    }
    if (Group80TakesNibble(x))
        NibbleForm(Group80[x]);
    else
        AppendText(Group80[x]);
}

void DisassemblyContext::DecodeGroup808()
{
    const uint32_t x = FetchNibble();
    switch (x) {
    case 0x1: { // 8081n  RSI
        const uint32_t n = FetchNibble();
        if (n == 0) {
            AppendText("RSI");
        } else {
            Unknown("8081", n, "");
        }
        break;
    }
    case 0x2: LoadConstant("LA(%X)%_#"); break; // 8082n  LA(n+1)
    case 0x4: case 0x5: case 0x8: case 0x9:     // bit n set or cleared
        NibbleForm(Group808[x]);
        break;
    case 0x6: case 0x7: case 0xA: case 0xB:     // bit n tested
        NibbleForm(Group808[x]);
        BranchSuffix();
        break;
    default: AppendText(Group808[x]); break;
    }
}

void DisassemblyContext::DecodeGroup81()
{
    const uint32_t x = FetchNibble();
    switch (x) {
    case 0x8: DecodeGroup818(); break;
    case 0x9: DecodeGroup819(); break;
    case 0xA: DecodeGroup81A(); break;
    case 0xB: DecodeGroup81B(); break;
    default: AppendText(Group81[x]); break;
    }
}

// 818fan: the field is read but not shown.
void DisassemblyContext::DecodeGroup818()
{
    FieldCode = FetchNibble();
    const uint32_t a = FetchNibble();
    Immediate = FetchNibble();
    if (ConstantArithmetic[a])
        ExpandFormat(ConstantArithmetic[a]);
    else
        Unknown("818X", a, "X");
}

// 819fa: one-bit right shifts of a field
void DisassemblyContext::DecodeGroup819()
{
    FieldCode = FetchNibble();
    const uint32_t a = FetchNibble();
    if (a < 4) {
        PairIndex = a;
        ExpandFormat("%rSRB%.%f");
        return;
    }
    Unknown("819X", a, "");
}

// 81Afa(n): scratch-register field transfers
void DisassemblyContext::DecodeGroup81A()
{
    FieldCode = FetchNibble();
    const uint32_t a = FetchNibble();
    switch (a) {
    case 0: ScratchTransfer("%t=A%.%f", "%t=C%.%f"); break;
    case 1: ScratchTransfer("A=%t%.%f", "C=%t%.%f"); break;
    case 2: ScratchTransfer("A%tEX%.%f", "C%tEX%.%f"); break;
    default: Unknown("81AX", a, ""); break;
    }
}

// 81Bx: PC transfers
void DisassemblyContext::DecodeGroup81B()
{
    const uint32_t x = FetchNibble();
    if (Group81B[x]) {
        AppendText(Group81B[x]);
        return;
    }
    Unknown("81B", x, "");
}

} // namespace tessock
