// The shapes of the opcode map, prefix by prefix as opcode_map.h lists the
// families. Where a decode stub selects by later nibbles, its leaf tables are
// read here, so that the cache calls the leaf directly; a selector that names
// no instruction (OpNoInstruction) is left to the reference path, which
// stays on it.
#include "engine/decode/shapes.h"

#include "engine/decode/group0.h"
#include "engine/decode/leaves.h"
#include "engine/groupA-F/field_instruction.h"

namespace korvane {

namespace {

InstructionShape Called(Flow kind, uint8_t length, InstructionHandler handler)
{
    return {.Kind = kind, .Length = length, .Handler = handler};
}

InstructionShape Straight(uint8_t length, InstructionHandler handler)
{
    return Called(Flow::Straight, length, handler);
}

InstructionShape Operands(uint8_t length, InstructionHandler handler)
{
    return Called(Flow::Operands, length, handler);
}

InstructionShape ThroughMemory(uint8_t length, InstructionHandler handler)
{
    return Called(Flow::Memory, length, handler);
}

InstructionShape Transfer(InstructionHandler handler)
{
    return Called(Flow::Transfer, 0, handler);
}

InstructionShape Reference(InstructionHandler handler)
{
    return Called(Flow::Reference, 0, handler);
}

// A leaf of a stub's table: no instruction stays on the reference path.
InstructionShape Leaf(Flow kind, uint8_t length, InstructionHandler leaf)
{
    if (leaf == &OpNoInstruction)
        return Reference(leaf);
    return Called(kind, length, leaf);
}

// 808x by x; n4 is the nibble after it.
InstructionShape Shape808(unsigned m, unsigned x, unsigned n4)
{
    const InstructionHandler leaf = Leaves808[m][x];
    switch (x) {
    case 0x0: // 8080  INTON
    case 0x3: // 8083  BUSCB
    case 0xD: // 808D  BUSCD
    case 0xF: // 808F  INTOFF
        return Straight(4, leaf);
    case 0x2: // 8082n  LA
        return Operands(static_cast<uint8_t>(6 + n4), leaf);
    case 0x4: // 8084n  ABIT=0
    case 0x5: // 8085n  ABIT=1
    case 0x8: // 8088n  CBIT=0
    case 0x9: // 8089n  CBIT=1
        return Operands(5, leaf);
    case 0x6: // 8086n  ?ABIT=0
    case 0x7: // 8087n  ?ABIT=1
    case 0xA: // 808An  ?CBIT=0
    case 0xB: // 808Bn  ?CBIT=1
    case 0xC: // 808C   PC=(A)
    case 0xE: // 808E   PC=(C)
        return Transfer(leaf);
    default: // 8081n  RSI: it scans the keyboard
        return Reference(leaf);
    }
}

// 80x by x; n3 and n4 are the nibbles after it.
InstructionShape Shape80(unsigned m, InstructionHandler handler, unsigned x, unsigned n3, unsigned n4)
{
    switch (x) {
    case 0x0: // 800  OUT=CS
    case 0x1: // 801  OUT=C
    case 0x9: // 809  C+P+1
    case 0xB: // 80B  BUSCC
    case 0xE: // 80E  SREQ?
        return Straight(3, handler);
    case 0x8:
        return Shape808(m, n3, n4);
    case 0xC: // 80Cn  C=P n
        return Straight(4, CFromPLeaves[m][n3]);
    case 0xD: // 80Dn  P=C n
        return Straight(4, PFromCLeaves[m][n3]);
    case 0xF: // 80Fn  CPEX n
        return Straight(4, CPExchangeLeaves[m][n3]);
    default: // A=IN, C=IN, UNCNFG, CONFIG, C=ID, SHUTDN, RESET
        return Reference(handler);
    }
}

// 81x by x; n3 and n4 are the nibbles after it.
InstructionShape Shape81(unsigned m, InstructionHandler handler, unsigned x, unsigned n3, unsigned n4)
{
    switch (x) {
    case 0x8: // 818fsn  r=r+k, r=r-k: the level reads n
        return Leaf(Flow::Operands, 6, ConstantArithmeticLeaves[m][n3][n4]);
    case 0x9: // 819fs  rSRB.f
        return Leaf(Flow::Straight, 5, FieldShiftLeaves[m][n3][n4]);
    case 0xA: // 81Afon  scratch field transfers: the level reads n
        return Leaf(Flow::Operands, 6, ScratchFieldLeaves[m][n3][n4]);
    case 0xB: // 81Bx: PC=A, PC=C, A=PC, C=PC, APCEX, CPCEX, multiply, divide
        return n3 >= 0x2 && n3 <= 0x7 ? Leaf(Flow::Transfer, 0, Leaves81B[m][n3])
                                       : Leaf(Flow::Straight, 4, Leaves81B[m][n3]);
    default: // 810-817 rotates, 81C-81F bit shifts
        return Straight(3, handler);
    }
}

// The handler to call and how PC goes on after it.
InstructionShape CalledShape(uint64_t bytes, bool decimal)
{
    const DispatchTable& table = decimal ? DecimalDispatchTable : HexDispatchTable;
    const InstructionHandler handler = table[DispatchIndexOfWord(static_cast<uint32_t>(bytes))];
    // A tagged instruction reaches the trap, which the reference path runs.
    if (bytes & BreakpointTag)
        return Reference(handler);
    unsigned n[8];
    for (unsigned k = 0; k < 8; ++k)
        n[k] = (bytes >> (8 * k)) & 0x0F;
    const unsigned m = ModeIndex(decimal);

    switch (n[0]) {
    case 0x0:
        switch (n[1]) {
        case 0x4: // 04  SETHEX
        case 0x5: // 05  SETDEC
        case 0xF: // 0F  RTI
            return Reference(handler);
        case 0x0: // 00  RTNSXM
        case 0x1: // 01  RTN
        case 0x2: // 02  RTNSC
        case 0x3: // 03  RTNCC
        case 0x6: // 06  RSTK=C: the hook sees the push
        case 0x7: // 07  C=RSTK: and the pop
            return Transfer(handler);
        case 0xE: // 0Efo  AND, OR
            return Straight(4, AndOrLeaves[m][n[2]][n[3]]);
        default: // 08-0D  CLRST, C=ST, ST=C, CSTEX, P=P+1, P=P-1
            return Straight(2, handler);
        }
    case 0x1:
        switch (n[1]) {
        case 0x4: // 14x  DAT0=A A ... C=DAT1 B
            return ThroughMemory(3, handler);
        case 0x5: // 15xy  DATn=r, r=DATn on a field or count
            return ThroughMemory(4, MemoryTransferLeaves[m][n[2]][n[3]]);
        case 0x9: // 19ab  D0=(2)
        case 0xD: // 1Dab  D1=(2)
            return Operands(4, handler);
        case 0xA: // 1Aabcd  D0=(4)
        case 0xE: // 1Eabcd  D1=(4)
            return Operands(6, handler);
        case 0xB: // 1Babcde  D0=(5)
        case 0xF: // 1Fabcde  D1=(5)
            return Operands(7, handler);
        default: // 10-13, 16-18, 1C: scratch registers, D0/D1 from A/C, D0/D1 steps
            return Straight(3, handler);
        }
    case 0x2: // 2n  P=n
        return Straight(2, handler);
    case 0x3: // 3n  LC with n+1 nibbles
        return Operands(static_cast<uint8_t>(3 + n[1]), handler);
    case 0x8:
        switch (n[1]) {
        case 0x0:
            return Shape80(m, handler, n[2], n[3], n[4]);
        case 0x1:
            return Shape81(m, handler, n[2], n[3], n[4]);
        case 0x2: // 82n  HS=0 n
        case 0x4: // 84n  ST=0 n
        case 0x5: // 85n  ST=1 n
            return Straight(3, handler);
        default: // 83n, 86n-89n, 8A, 8B tests; 8C-8F long jumps and calls
            return Transfer(handler);
        }
    case 0x4: // 4ab  GOC, RTNC
    case 0x5: // 5ab  GONC, RTNNC
    case 0x6: // 6abc  GOTO
    case 0x7: // 7abc  GOSUB
    case 0x9: // 9ab  tests on fields
        return Transfer(handler);
    case 0xA: // Aab  field arithmetic and moves
    case 0xB: // Bab  field arithmetic and shifts
        return Straight(3, handler);
    default: // Cb-Fb  on field A
        return Straight(2, handler);
    }
}

// --- The work the loop does itself ---------------------------------------

// The live form of a working register: in hexadecimal mode its two packed
// words, which the loop reads as one little-endian 64-bit value; in decimal
// mode its nibble bytes, of which the loop reads the first eight as one.
void* FormOf(Reg r, bool decimal)
{
    NibbleRegister* registers[] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    NibbleRegister& reg = *registers[static_cast<unsigned>(r)];
    return decimal ? static_cast<void*>(reg.Nibbles) : static_cast<void*>(&reg.PackedLow);
}

void* PackedOf(Reg r)
{
    return FormOf(r, false);
}

// The fields of fixed place, by field index: the mask over the packed value
// and the number of nibbles. P and WP follow P and are left to the handlers.
struct FixedField {
    uint64_t Mask;
    unsigned Nibbles;
};

constexpr FixedField FixedFields[9] = {
    {0, 0},                       // P
    {0, 0},                       // WP
    {0x0000000000000F00ull, 1},   // XS
    {0x0000000000000FFFull, 3},   // X
    {0xF000000000000000ull, 1},   // S
    {0x0FFFFFFFFFFFF000ull, 12},  // M
    {0x00000000000000FFull, 2},   // B
    {0xFFFFFFFFFFFFFFFFull, 16},  // W
    {0x00000000000FFFFFull, 5},   // A
};

constexpr bool IsFixed(Field f)
{
    return f != Field::P && f != Field::WP;
}

// The field's mask over the live form in the mode, where the loop has one:
// in decimal mode only the fields within the first eight nibbles (XS, X, B
// and A), whose nibble bytes are one word, a byte a nibble.
bool FieldMaskIn(const FixedField& fixed, bool decimal, uint64_t& mask)
{
    if (!decimal) {
        mask = fixed.Mask;
        return true;
    }
    if (fixed.Mask > 0xFFFFFFFF)
        return false;
    mask = SpreadNibbles(static_cast<uint32_t>(fixed.Mask)) * 0x11;
    return true;
}

// n nibbles from nibble first, low first.
uint32_t NibblesAt(const unsigned* n, unsigned first, unsigned count)
{
    uint32_t value = 0;
    for (unsigned k = count; k-- > 0;)
        value = value << 4 | n[first + k];
    return value;
}

int32_t Signed(uint32_t value, unsigned bits)
{
    const uint32_t sign = 1u << (bits - 1);
    return static_cast<int32_t>((value ^ sign) - sign);
}

InstructionShape Job(Work job, uint8_t length, uint16_t cost)
{
    return {.Job = job, .Length = length, .Cost = cost};
}

// Groups A to F: Aab and Bab name field a & 7 and the set a >> 3; Cb to Fb
// are the four sets on field A. In decimal mode the loop does the moves, the
// clears and the exchanges, which the mode does not change; the arithmetic
// goes to the decimal handlers.
bool FieldWork(const unsigned* n, bool decimal, InstructionShape& shape)
{
    unsigned group, set, b;
    Field field;
    uint8_t length;
    if (n[0] <= 0xB) {
        group = n[0], set = n[1] >> 3, b = n[2], field = static_cast<Field>(n[1] & 7), length = 3;
    } else {
        group = 0xA + ((n[0] - 0xC) >> 1), set = (n[0] - 0xC) & 1, b = n[1], field = Field::A, length = 2;
    }
    if (!IsFixed(field))
        return false;
    const FixedField fixed = FixedFields[FieldIndex(field)];
    uint64_t mask = 0;
    if (!FieldMaskIn(fixed, decimal, mask))
        return false;
    const RegisterPair pair = RegisterPairs[b & 3];
    void* const r = FormOf(pair.R, decimal);
    void* const other = FormOf(pair.S, decimal);
    struct Choice {
        Work Job;
        void* Target;
        const void* Source;
    };
    Choice choice;
    switch ((group == 0xB) << 3 | set << 2 | b >> 2) {
    case 0x0: choice = {Work::AddField, r, other}; break;           // A=A+B B=B+C C=C+A D=D+C
    case 0x1: choice = {Work::AddField, r, r}; break;               // A=A+A B=B+B C=C+C D=D+D
    case 0x2: choice = {Work::AddField, other, r}; break;           // B=B+A C=C+B A=A+C C=C+D
    case 0x3: choice = {Work::DecrementField, r, nullptr}; break;   // A=A-1 B=B-1 C=C-1 D=D-1
    case 0x4: choice = {Work::ClearField, r, nullptr}; break;       // A=0 B=0 C=0 D=0
    case 0x5: choice = {Work::CopyField, r, other}; break;          // A=B B=C C=A D=C
    case 0x6: choice = {Work::CopyField, other, r}; break;          // B=A C=B A=C C=D
    case 0x7: choice = {Work::ExchangeField, r, other}; break;      // ABEX BCEX CAEX DCEX
    case 0x8: choice = {Work::SubtractField, r, other}; break;      // A=A-B B=B-C C=C-A D=D-C
    case 0x9: choice = {Work::IncrementField, r, nullptr}; break;   // A=A+1 B=B+1 C=C+1 D=D+1
    case 0xA: choice = {Work::SubtractField, other, r}; break;      // B=B-A C=C-B A=A-C C=C-D
    case 0xB: choice = {Work::SubtractFromField, r, other}; break;  // A=B-A B=C-B C=A-C D=C-D
    default: return false;                                           // shifts and complements
    }
    if (decimal && choice.Job != Work::ClearField && choice.Job != Work::CopyField &&
        choice.Job != Work::ExchangeField)
        return false;
    shape = Job(choice.Job, length, static_cast<uint16_t>(field == Field::A ? 32 : 18 + 4 * fixed.Nibbles));
    shape.Operand = mask;
    shape.Target = choice.Target;
    shape.Source = choice.Source;
    // The steps of one: the field's lowest nibble's 1.
    if (choice.Job == Work::IncrementField || choice.Job == Work::DecrementField)
        shape.Source = reinterpret_cast<const void*>(static_cast<uintptr_t>(fixed.Mask & (~fixed.Mask + 1)));
    return true;
}

// 14x and 15xy in the hexadecimal table, on 2, 5, 8 or 16 nibbles from nibble 0.
bool TransferWork(const unsigned* n, InstructionShape& shape)
{
    const unsigned x = n[2];
    const unsigned transfer = x & 7;
    const bool read = (transfer & 2) != 0;
    unsigned nibbles;
    uint16_t cost;
    uint8_t length;
    if (n[1] == 0x4) {
        nibbles = x < 8 ? 5 : 2, length = 3;
        cost = x < 8 ? (read ? 82 : 78) : (read ? 78 : 66);
    } else if (x < 8) {
        const Field field = FieldFromCode(n[3]);
        if (field != Field::A && field != Field::B && field != Field::W)
            return false;
        nibbles = FixedFields[FieldIndex(field)].Nibbles, length = 4;
        cost = static_cast<uint16_t>((read ? 80 : 76) + 6 * nibbles);
    } else {
        nibbles = n[3] + 1, length = 4;
        cost = static_cast<uint16_t>((read ? 76 : 72) + 6 * nibbles);
    }
    if (nibbles != 2 && nibbles != 5 && nibbles != 8 && nibbles != 16)
        return false;
    shape = Job(read ? Work::ReadNibbles : Work::WriteNibbles, length, cost);
    shape.Variant = static_cast<uint8_t>(nibbles);
    shape.Target = PackedOf(transfer & 4 ? Reg::C : Reg::A);
    shape.Source = transfer & 1 ? &Cpu.D1 : &Cpu.D0;
    return true;
}

// The tests with their GOYES/RTNYES tail: RTNYES pops, so only GOYES is
// the loop's own.
bool TestWork(Work job, uint16_t cost, const unsigned* n, InstructionShape& shape)
{
    const int32_t offset = Signed(NibblesAt(n, 3, 2), 8);
    if (offset == 0)
        return false;
    shape = Job(job, 5, cost);
    shape.Branch = 3 + offset;
    return true;
}

// 8Ab and 9ab with a 0-7: the equality tests, which compare the same in
// both modes.
bool FieldTestWork(Field field, unsigned b, bool decimal, const unsigned* n, InstructionShape& shape)
{
    if (!IsFixed(field))
        return false;
    const FixedField fixed = FixedFields[FieldIndex(field)];
    uint64_t mask = 0;
    if (!FieldMaskIn(fixed, decimal, mask) ||
        !TestWork(Work::TestFields, static_cast<uint16_t>(34 + 4 * fixed.Nibbles), n, shape))
        return false;
    shape.Operand = mask;
    if (b < 8) { // ?A=B ?B=C ?C=A ?D=C, then # on the same pairs
        shape.Target = FormOf(RegisterPairs[b & 3].R, decimal);
        shape.Source = FormOf(RegisterPairs[b & 3].S, decimal);
        shape.Variant = b < 4;
    } else {     // ?A=0 ?B=0 ?C=0 ?D=0, then #0
        shape.Target = FormOf(static_cast<Reg>(b & 3), decimal);
        shape.Variant = b < 12;
    }
    return true;
}

bool ControlWork(const unsigned* n, bool decimal, InstructionShape& shape)
{
    switch (n[0]) {
    case 0x0:
        if (n[1] == 0x4 || n[1] == 0x5) { // 04 SETHEX, 05 SETDEC
            shape = Job(Work::SwitchMode, 2, 16);
            shape.Variant = n[1] == 0x5;
            return true;
        }
        if (n[1] > 0x3)
            return false;
        shape = Job(Work::Return, 2, 44); // 00-03  RTNSXM RTN RTNSC RTNCC
        shape.Variant = static_cast<uint8_t>(n[1]);
        return true;
    case 0x1:
        switch (n[1]) {
        case 0x6: case 0x7: case 0x8: case 0xC: { // 16x 17x 18x 1Cx  D0=D0+ D1=D1+ D0=D0- D1=D1-
            shape = Job(Work::StepPointer, 3, 34);
            shape.Target = n[1] == 0x6 || n[1] == 0x8 ? &Cpu.D0 : &Cpu.D1;
            const uint32_t step = n[2] + 1;
            shape.Operand = n[1] >= 0x8 ? 0u - step : step;
            return true;
        }
        case 0x9: case 0xA: case 0xB: case 0xD: case 0xE: case 0xF: { // D0=(2) (4) (5), D1=(2) (4) (5)
            static constexpr unsigned Count[8] = {0, 2, 4, 5, 0, 2, 4, 5};
            const unsigned count = Count[n[1] - 0x8];
            shape = Job(Work::LoadPointer, static_cast<uint8_t>(2 + count),
                        static_cast<uint16_t>(count == 2 ? 24 : count == 4 ? 36 : 46));
            shape.Target = n[1] < 0xD ? &Cpu.D0 : &Cpu.D1;
            shape.Operand = NibblesAt(n, 2, count) | uint64_t{0xFFFFF & ~((1u << (4 * count)) - 1)} << 32;
            return true;
        }
        default:
            return false;
        }
    case 0x2: // 2n  P=n
        shape = Job(Work::SetP, 2, 12);
        shape.Operand = n[1];
        return true;
    case 0x3: { // 3n  LC, hexadecimal, up to six nibbles: all in the eight bytes
        const unsigned count = n[1] + 1;
        if (decimal || count > 6)
            return false;
        shape = Job(Work::LoadC, static_cast<uint8_t>(2 + count), static_cast<uint16_t>(12 + 4 * count));
        shape.Operand = NibblesAt(n, 2, count);
        shape.Branch = static_cast<int32_t>((1u << (4 * count)) - 1);
        return true;
    }
    case 0x4:
    case 0x5: { // 4ab GOC, 5ab GONC; 400 and 500 return
        const int32_t offset = Signed(NibblesAt(n, 1, 2), 8);
        if (offset == 0)
            return false;
        shape = Job(Work::BranchOnCarry, 3, 18);
        shape.Variant = n[0] == 0x4;
        shape.Branch = 1 + offset;
        return true;
    }
    case 0x6: // 6abc  GOTO
        shape = Job(Work::Goto, 4, 56);
        shape.Branch = 1 + Signed(NibblesAt(n, 1, 3), 12);
        return true;
    case 0x7: // 7abc  GOSUB
        shape = Job(Work::Gosub, 4, 60);
        shape.Operand = 4;
        shape.Branch = 4 + Signed(NibblesAt(n, 1, 3), 12);
        return true;
    default:
        return false;
    }
}

bool GroupEightWork(const unsigned* n, bool decimal, InstructionShape& shape)
{
    switch (n[1]) {
    case 0x0:
        if (n[2] != 0x8 || decimal || (n[3] != 0xC && n[3] != 0xE))
            return false;
        shape = Job(Work::JumpThroughMemory, 4, 104); // 808C PC=(A), 808E PC=(C)
        shape.Target = PackedOf(n[3] == 0xC ? Reg::A : Reg::C);
        shape.Variant = n[3] == 0xC;
        return true;
    case 0x4:
    case 0x5: // 84n ST=0 n, 85n ST=1 n
        shape = Job(Work::SetStatus, 3, 22);
        shape.Operand = 1u << n[2];
        shape.Variant = n[1] == 0x5;
        return true;
    case 0x3: // 83n  ?HST=0 n
        if (!TestWork(Work::TestHst, 30, n, shape))
            return false;
        shape.Operand = n[2];
        return true;
    case 0x6:
    case 0x7: // 86n ?ST=0 n, 87n ?ST=1 n
        if (!TestWork(Work::TestStatus, 34, n, shape))
            return false;
        shape.Operand = 1u << n[2];
        shape.Variant = n[1] == 0x7;
        return true;
    case 0x8:
    case 0x9: // 88n ?P# n, 89n ?P= n
        if (!TestWork(Work::TestPointer, 30, n, shape))
            return false;
        shape.Operand = n[2];
        shape.Variant = n[1] == 0x9;
        return true;
    case 0xA: // 8Ab  tests on field A
        return FieldTestWork(Field::A, n[2], decimal, n, shape);
    case 0xC: // 8Cdddd  GOLONG
        shape = Job(Work::Goto, 6, 68);
        shape.Branch = 2 + Signed(NibblesAt(n, 2, 4), 16);
        return true;
    case 0xD: // 8Daaaaa  GOVLNG
        shape = Job(Work::GoVeryLong, 7, 74);
        shape.Operand = NibblesAt(n, 2, 5);
        return true;
    case 0xE: // 8Edddd  GOSUBL
        shape = Job(Work::Gosub, 6, 72);
        shape.Operand = 6;
        shape.Branch = 6 + Signed(NibblesAt(n, 2, 4), 16);
        return true;
    case 0xF: // 8Faaaaa  GOSBVL
        shape = Job(Work::GosubVeryLong, 7, 78);
        shape.Operand = NibblesAt(n, 2, 5);
        return true;
    default:
        return false;
    }
}

bool LoopWork(const unsigned* n, bool decimal, InstructionShape& shape)
{
    if (n[0] >= 0xA)
        return FieldWork(n, decimal, shape);
    if (n[0] == 0x1 && (n[1] == 0x4 || n[1] == 0x5))
        return !decimal && TransferWork(n, shape);
    if (n[0] == 0x8)
        return GroupEightWork(n, decimal, shape);
    if (n[0] == 0x9)
        return n[1] < 8 && FieldTestWork(static_cast<Field>(n[1]), n[2], decimal, n, shape);
    return ControlWork(n, decimal, shape);
}

} // namespace

// The loop's own work where it has it; otherwise the handler to call. A
// tagged instruction always goes to the reference path, whose trap it is.
InstructionShape DescribeInstruction(uint64_t bytes, bool decimal)
{
    if (!(bytes & BreakpointTag)) {
        unsigned n[8];
        for (unsigned k = 0; k < 8; ++k)
            n[k] = (bytes >> (8 * k)) & 0x0F;
        InstructionShape shape;
        if (LoopWork(n, decimal, shape)) {
            // A transfer that leaves the plain pages goes to its handler.
            if (shape.Job == Work::ReadNibbles || shape.Job == Work::WriteNibbles)
                shape.Handler = CalledShape(bytes, decimal).Handler;
            return shape;
        }
    }
    return CalledShape(bytes, decimal);
}

} // namespace korvane
