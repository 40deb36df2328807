// The disassembler against texts and lengths written out by hand: one row
// per opcode family of each decoding table, with nibbles placed in the
// library's ROM image at 0x01000 and read back through the memory map.
#include <cstring>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>

#include "tests/helper/disassembler/disassemble.h"

namespace {

using test::Calculator;
using test::Disassemble;

constexpr uint32_t Origin = 0x01000;

struct Row {
    const char* Nibbles; // in address order
    const char* Text;
    uint32_t Length;
};

void Check(std::initializer_list<Row> rows)
{
    Calculator calculator;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Nibbles);
        // Ones after the instruction: a decoder that reads too far sees
        // digits that change its text.
        test::PlaceNibbles(calculator, Origin, std::string(row.Nibbles) + "FFFFFFFFFFFFFFFFFFFFFFFF");
        const test::Disassembled got = Disassemble(Origin);
        EXPECT_EQ(got.Text, row.Text);
        EXPECT_EQ(got.Next, Origin + row.Length);
    }
}

TEST(Disassembler, Group0ReturnsModesStatusAndLogic)
{
    Check({
        {"00", "RTNSXM", 2}, {"01", "RTN", 2}, {"05", "SETDEC", 2}, {"07", "C=RSTK", 2},
        {"0B", "CSTEX", 2}, {"0D", "P=P-1", 2}, {"0F", "RTI", 2},
        // 0Efa: a >> 2 the operation, a & 3 the pair; field codes 8 to F are A.
        {"0E70", "A=A&B.W", 4}, {"0E05", "C=C&B.P", 4}, {"0E1A", "C=C!A.WP", 4}, {"0E8F", "C=C!D.A", 4},
    });
}

TEST(Disassembler, Group1ScratchPointerAndMemoryTransfers)
{
    Check({
        // Scratch numbers 5 to 7 are R1 to R3; 8 to F work with C.
        {"104", "R4=A", 3}, {"105", "R1=A", 3}, {"10A", "R2=C", 3}, {"11F", "C=R3", 3}, {"12C", "CR4EX", 3},
        {"130", "D0=A", 3}, {"137", "CD1EX", 3}, {"13F", "CD1XS", 3},
        {"147", "C=DAT1.A", 3}, {"149", "DAT1=A.B", 3}, {"14E", "C=DAT0.B", 3},
        // 15an: a field below 8, a count of n + 1 nibbles from 8 on.
        {"1526", "A=DAT0.B", 4}, {"1531", "A=DAT1.WP", 4}, {"157F", "C=DAT1.A", 4},
        {"1583", "DAT0=A.4", 4}, {"15FF", "C=DAT1.16", 4},
        {"160", "D0=D0+1", 3}, {"16F", "D0=D0+16", 3}, {"174", "D1=D1+5", 3},
        {"189", "D0=D0-10", 3}, {"1C0", "D1=D1-1", 3},
        // Pointer loads: the first nibble read is the last digit.
        {"1921", "D0=(2)\t#12", 4}, {"1A4321", "D0=(4)\t#1234", 6}, {"1B54321", "D0=(5)\t#12345", 7},
        {"1DEF", "D1=(2)\t#FE", 4}, {"1E0000", "D1=(4)\t#0000", 6}, {"1F0F000", "D1=(5)\t#000F0", 7},
    });
}

TEST(Disassembler, PAndLoadConstantInDecimalAndDigits)
{
    Check({
        {"25", "P=\t#5", 2}, {"2F", "P=\t#15", 2},
        {"334321", "LC(4)\t#1234", 6}, {"30A", "LC(1)\t#A", 3},
        {"3F0123456789ABCDEF", "LC(16)\t#FEDCBA9876543210", 18},
    });
}

TEST(Disassembler, RelativeJumpsCountFromTheirOffsetOrTheNextInstruction)
{
    Check({
        // GOC and GONC from the offset at 0x01001; 0 returns instead.
        {"400", "RTNC", 3}, {"421", "GOC\t#01013", 3}, {"40F", "GOC\t#00FF1", 3},
        {"500", "RTNNC", 3}, {"570", "GONC\t#01008", 3},
        // GOTO from 0x01001: offsets 3 and 4 jump over the next nibbles.
        {"6300", "NOP4", 4}, {"6400", "NOP5", 4}, {"6321", "GOTO\t#01124", 4},
        {"600F", "GOTO\t#00F01", 4}, {"6000", "GOTO\t#01001", 4}, {"6500", "GOTO\t#01006", 4},
        // GOSUB from the next instruction, 0x01004.
        {"7000", "GOSUB\t#01004", 4}, {"7FFF", "GOSUB\t#01003", 4}, {"7300", "GOSUB\t#01007", 4},
        // GOLONG from 0x01002, GOSUBL from 0x01006; absolute ones as read.
        {"8C0000", "GOLONG\t#01002", 6}, {"8C4321", "GOLONG\t#02236", 6}, {"8C000F", "GOLONG\t#00002", 6},
        {"8E0100", "GOSUBL\t#01016", 6}, {"8EFFFF", "GOSUBL\t#01005", 6},
        {"8D54321", "GOVLNG\t#12345", 7}, {"8F0000F", "GOSBVL\t#F0000", 7},
    });
}

TEST(Disassembler, Group80ControlAndInputOutput)
{
    Check({
        {"800", "OUT=CS", 3}, {"803", "C=IN", 3}, {"807", "SHUTDN", 3}, {"809", "C+P+1", 3}, {"80E", "SREQ?", 3},
        {"80C5", "C=P.5", 4}, {"80DF", "P=C.15", 4}, {"80F0", "CPEX.0", 4},
        {"8080", "INTON", 4}, {"80810", "RSI", 5}, {"808C", "PC=(A)", 4}, {"808F", "INTOFF", 4},
        {"80820A", "LA(1)\t#A", 6}, {"8082443210", "LA(5)\t#01234", 10},
        {"80843", "ABIT=0.3", 5}, {"8085F", "ABIT=1.15", 5}, {"8088A", "CBIT=0.10", 5}, {"80899", "CBIT=1.9", 5},
        // Bit tests: the branch offset's first nibble is at 0x01005.
        {"8086200", "?ABIT=0.2 RTNYES", 7}, {"8087150", "?ABIT=1.1 GOYES #0100A", 7},
        {"808A0FF", "?CBIT=0.0 GOYES #01004", 7}, {"808BE00", "?CBIT=1.14 RTNYES", 7},
    });
}

TEST(Disassembler, Group81ShiftsConstantsScratchFieldsAndPcTransfers)
{
    Check({
        {"810", "ASLC", 3}, {"817", "DSRC", 3}, {"81C", "ASRB", 3}, {"81F", "DSRB", 3},
        // 818fan: the field is read but not shown.
        {"818F00", "A=A+1", 6}, {"8186BF", "D=D-16", 6}, {"818791", "B=B-2", 6},
        {"81970", "ASRB.W", 5}, {"819F3", "DSRB.A", 5}, {"81921", "BSRB.XS", 5},
        {"81A000", "R0=A.P", 6}, {"81AF0C", "R4=C.A", 6}, {"81A315", "A=R1.X", 6}, {"81A72F", "CR3EX.W", 6},
        {"81A41B", "C=R3.S", 6}, {"81A526", "AR2EX.M", 6},
        {"81B2", "PC=A", 4}, {"81B5", "C=PC", 4}, {"81B7", "CPCEX", 4},
    });
}

TEST(Disassembler, UndefinedCodesShowTheirCodeAndReadWhatTheirNeighboursRead)
{
    Check({
        {"80811", "Unkown:80811", 5}, {"8081F", "Unkown:8081F", 5},
        {"818240", "Unkown:818X4X", 6}, {"8180F5", "Unkown:818XFX", 6}, {"8181CF", "Unkown:818XCX", 6},
        {"81934", "Unkown:819X4", 5}, {"8190F", "Unkown:819XF", 5},
        {"81A03", "Unkown:81AX3", 5}, {"81A0F", "Unkown:81AXF", 5},
        {"81B0", "Unkown:81B0", 4}, {"81B1", "Unkown:81B1", 4}, {"81B8", "Unkown:81B8", 4}, {"81BF", "Unkown:81BF", 4},
    });
}

TEST(Disassembler, Group8StatusPointerAndFieldATests)
{
    Check({
        // 82n: the bits cleared, named in bit order.
        {"820", "NOP3", 3}, {"82F", "CLRHST", 3}, {"821", "XM=0", 3}, {"828", "MP=0", 3},
        {"825", "XM=0 SR=0", 3}, {"82E", "SB=0 SR=0 MP=0", 3},
        {"83000", "?0=0 RTNYES", 5}, {"83712", "?XM=0&SB=0&SR=0 GOYES #01024", 5},
        {"83E00", "?SB=0&SR=0?MP=0 RTNYES", 5}, {"83F00", "?XM=0&SB=0&SR=0&MP=0 RTNYES", 5},
        {"845", "ST=0.5", 3}, {"85F", "ST=1.15", 3},
        {"86500", "?ST=0.5 RTNYES", 5}, {"86501", "?ST=0.5 GOYES #01013", 5}, {"87C00", "?ST=1.12 RTNYES", 5},
        {"88300", "?P#3 RTNYES", 5}, {"89F00", "?P=15 RTNYES", 5},
        {"8A000", "?A=B.A RTNYES", 5}, {"8A700", "?D#C.A RTNYES", 5}, {"8A900", "?B=0.A RTNYES", 5},
        {"8AE00", "?C#0.A RTNYES", 5}, {"8B000", "?A>B.A RTNYES", 5}, {"8B500", "?B<C.A RTNYES", 5},
        {"8BA00", "?C>=A.A RTNYES", 5}, {"8BF00", "?D<=C.A RTNYES", 5},
        // Branch offsets are signed: 0x80 is the farthest back.
        {"8A008", "?A=B.A GOYES #00F83", 5}, {"8A0F7", "?A=B.A GOYES #01082", 5},
    });
}

TEST(Disassembler, Group9TestsOfEveryFieldWithTheirBranch)
{
    Check({
        {"90000", "?A=B.P RTNYES", 5}, {"97400", "?A#B.W RTNYES", 5}, {"91B00", "?D=0.WP RTNYES", 5},
        {"92E00", "?C#0.XS RTNYES", 5}, {"98000", "?A>B.P RTNYES", 5}, {"9E500", "?B<C.B RTNYES", 5},
        {"9BA00", "?C>=A.X RTNYES", 5}, {"9FF00", "?D<=C.W RTNYES", 5}, {"9C600", "?C<A.S RTNYES", 5},
        {"9F3FF", "?D>C.W GOYES #01002", 5}, {"95921", "?B=0.M GOYES #01015", 5},
    });
}

TEST(Disassembler, GroupsAToFArithmeticOfEveryFormat)
{
    Check({
        {"A00", "A=A+B.P", 3}, {"A75", "B=B+B.W", 3}, {"A2A", "A=A+C.XS", 3}, {"A3F", "D=D-1.X", 3},
        {"A80", "A=0.P", 3}, {"AC5", "B=C.S", 3}, {"AD6", "C=A.M", 3}, {"AEB", "C=D.B", 3}, {"AFF", "DCEX.W", 3},
        {"B00", "A=A-B.P", 3}, {"B15", "B=B+1.WP", 3}, {"B2A", "A=A-C.XS", 3}, {"B3F", "D=C-D.X", 3},
        {"B80", "ASL.P", 3}, {"BC5", "BSR.S", 3}, {"BDA", "C=-C.M", 3}, {"BFF", "D=-D-1.W", 3},
        {"C0", "A=A+B.A", 2}, {"C7", "D=D+D.A", 2}, {"CA", "A=A+C.A", 2}, {"CF", "D=D-1.A", 2},
        {"D0", "A=0.A", 2}, {"D5", "B=C.A", 2}, {"DA", "A=C.A", 2}, {"DF", "DCEX.A", 2},
        {"E0", "A=A-B.A", 2}, {"E5", "B=B+1.A", 2}, {"EA", "A=A-C.A", 2}, {"EF", "D=C-D.A", 2},
        {"F0", "ASL.A", 2}, {"F5", "BSR.A", 2}, {"FA", "C=-C.A", 2}, {"FF", "D=-D-1.A", 2},
    });
}

TEST(Disassembler, AddressesWrapOnlyInTheMemoryMap)
{
    Calculator calculator;
    // The instruction runs over the top of memory: its nibbles come from
    // 0xFFFFE, 0xFFFFF, 0x00000 ...; the next address is not wrapped.
    test::PlaceNibbles(calculator, 0xFFFFE, "334321");
    EXPECT_EQ(Disassemble(0xFFFFE).Text, "LC(4)\t#1234");
    EXPECT_EQ(Disassemble(0xFFFFE).Next, 0x100004u);
    // A jump backwards from the bottom reaches the top, as the processor's does.
    test::PlaceNibbles(calculator, 0x00000, "40F");
    EXPECT_EQ(Disassemble(0x00000).Text, "GOC\t#FFFF1");
    // An address above 20 bits reads the same memory.
    EXPECT_EQ(Disassemble(0x300000).Text, "GOC\t#FFFF1");
    EXPECT_EQ(Disassemble(0x300000).Next, 0x300003u);
}

// Every row's text cut to every buffer size from 0 up: the bytes written
// are the text's first size - 1 characters and a NUL, nothing is written
// past size, and the next address stays the instruction's.
TEST(Disassembler, EveryBufferSizeGetsAPrefixAndTheSameNextAddress)
{
    Calculator calculator;
    for (const char* nibbles : {"01", "0E70", "334321", "3F0123456789ABCDEF", "6321", "8D54321", "8086200",
                                "8087150", "1B54321", "80820A", "81BF", "83F00", "15FF"}) {
        SCOPED_TRACE(nibbles);
        test::PlaceNibbles(calculator, Origin, nibbles);
        const test::Disassembled whole = Disassemble(Origin);
        for (uint32_t size = 0; size <= whole.Text.size() + 2; ++size) {
            char buffer[64];
            std::memset(buffer, 'x', sizeof buffer);
            EXPECT_EQ(KHDisassemble(Origin, size, buffer), whole.Next) << size;
            const size_t kept = size == 0 ? 0 : std::min<size_t>(size - 1, whole.Text.size());
            EXPECT_EQ(std::string(buffer, kept), whole.Text.substr(0, kept)) << size;
            if (size != 0) {
                EXPECT_EQ(buffer[kept], '\0') << size;
            }
            for (size_t i = size; i < sizeof buffer; ++i)
                ASSERT_EQ(buffer[i], 'x') << "written at " << i << " with size " << size;
        }
        EXPECT_EQ(KHDisassemble(Origin, 64, nullptr), whole.Next) << "no buffer: only the length";
    }
}

} // namespace
