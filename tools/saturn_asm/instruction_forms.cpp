#include "saturn_asm/instruction_forms.h"

#include <stdexcept>

namespace saturn {

namespace {

const char* const FirstRegister[4] = {"A", "B", "C", "D"};
const char* const SecondRegister[4] = {"B", "C", "A", "C"};

const char* const TestFormats[8] = {"?r=s", "?r#s", "?r=0", "?r#0", "?r>s", "?r<s", "?r>=s", "?r<=s"};
const char* const ArithmeticFormats[16] = {
    "r=r+s", "r=r+r", "s=s+r", "r=r-1", "r=0", "r=s", "s=r", "rsEX",
    "r=r-s", "r=r+1", "s=s-r", "r=s-r", "rSL", "rSR", "r=-r", "r=-r-1",
};
const char* const LogicFormats[4] = {"r=r&s", "s=s&r", "r=r!s", "s=s!r"};
const char* const Transfers[8] = {"DAT0=A", "DAT1=A", "A=DAT0", "A=DAT1", "DAT0=C", "DAT1=C", "C=DAT0", "C=DAT1"};
const char* const PointerMoves[16] = {
    "D0=A", "D1=A", "AD0EX", "AD1EX", "D0=C", "D1=C", "CD0EX", "CD1EX",
    "D0=AS", "D1=AS", "AD0XS", "AD1XS", "D0=CS", "D1=CS", "CD0XS", "CD1XS",
};
const char* const HstTests[16] = {
    "?0=0", "?XM=0", "?SB=0", "?XM=0&SB=0", "?SR=0", "?XM=0&SR=0", "?SB=0&SR=0", "?XM=0&SB=0&SR=0",
    "?MP=0", "?XM=0&MP=0", "?SB=0&MP=0", "?XM=0&SB=0&MP=0", "?SR=0&MP=0", "?XM=0&SR=0&MP=0",
    "?SB=0&SR=0?MP=0", "?XM=0&SB=0&SR=0&MP=0",
};

char Hex(unsigned n)
{
    return "0123456789ABCDEF"[n & 15];
}

// A format's r and s replaced by the registers of the pair.
std::string Fill(const char* format, unsigned pair)
{
    std::string text;
    for (const char* c = format; *c; ++c) {
        if (*c == 'r')
            text += FirstRegister[pair];
        else if (*c == 's')
            text += SecondRegister[pair];
        else
            text += *c;
    }
    return text;
}

class Builder {
public:
    void add(const std::string& text, const std::string& nibbles, bool test = false)
    {
        if (!Forms.emplace(text, FixedForm{nibbles, test}).second)
            throw std::logic_error("two opcodes for " + text);
    }
    // The text is spelled by the opcodes of other rows too: keep the first.
    void alias(const std::string& text, const std::string& nibbles) { Forms.emplace(text, FixedForm{nibbles, false}); }

    std::unordered_map<std::string, FixedForm> Forms;
};

void AddGroup0(Builder& b)
{
    const char* const singles[16] = {"RTNSXM", "RTN", "RTNSC", "RTNCC", "SETHEX", "SETDEC", "RSTK=C", "C=RSTK",
                                     "CLRST", "C=ST", "ST=C", "CSTEX", "P=P+1", "P=P-1", nullptr, "RTI"};
    for (unsigned n = 0; n < 16; ++n)
        if (singles[n])
            b.add(singles[n], std::string("0") + Hex(n));
    for (unsigned f = 0; f < 9; ++f) {
        const unsigned code = f < 8 ? f : WideFieldA;
        const std::string field = f < 8 ? FieldNames[f] : "A";
        for (unsigned a = 0; a < 16; ++a)
            b.add(Fill(LogicFormats[a >> 2], a & 3) + "." + field, std::string("0E") + Hex(code) + Hex(a));
    }
}

void AddGroup1(Builder& b)
{
    for (unsigned n = 0; n < 5; ++n) {
        const std::string r = std::string("R").append(std::to_string(n));
        b.add(r + "=A", std::string("10") + Hex(n));
        b.add(r + "=C", std::string("10") + Hex(n + 8));
        b.add("A=" + r, std::string("11") + Hex(n));
        b.add("C=" + r, std::string("11") + Hex(n + 8));
        b.add("A" + r + "EX", std::string("12") + Hex(n));
        b.add("C" + r + "EX", std::string("12") + Hex(n + 8));
    }
    for (unsigned n = 0; n < 16; ++n)
        b.add(PointerMoves[n], std::string("13") + Hex(n));
    for (unsigned t = 0; t < 8; ++t) {
        b.add(std::string(Transfers[t]) + ".A", std::string("14") + Hex(t));
        b.add(std::string(Transfers[t]) + ".B", std::string("14") + Hex(t + 8));
        for (unsigned f = 0; f < 8; ++f) {
            const std::string text = std::string(Transfers[t]) + "." + FieldNames[f];
            b.alias(text, std::string("15") + Hex(t) + Hex(f));
        }
        for (unsigned k = 1; k <= 16; ++k)
            b.add(std::string(Transfers[t]) + "." + std::to_string(k), std::string("15") + Hex(t + 8) + Hex(k - 1));
    }
    for (unsigned k = 1; k <= 16; ++k) {
        const std::string count = std::to_string(k);
        b.add("D0=D0+" + count, std::string("16") + Hex(k - 1));
        b.add("D1=D1+" + count, std::string("17") + Hex(k - 1));
        b.add("D0=D0-" + count, std::string("18") + Hex(k - 1));
        b.add("D1=D1-" + count, std::string("1C") + Hex(k - 1));
    }
}

void AddJumpSingles(Builder& b)
{
    b.add("RTNC", "400");
    b.add("RTNNC", "500");
    b.add("NOP4", "6300");
    // A GOTO over one nibble: the disassembler shows it as four nibbles,
    // the processor jumps over five.
    b.add("NOP5", "64000");
}

void AddGroup80(Builder& b)
{
    const char* const singles[16] = {"OUT=CS", "OUT=C", "A=IN", "C=IN", "UNCNFG", "CONFIG", "C=ID", "SHUTDN",
                                     nullptr, "C+P+1", "RESET", "BUSCC", nullptr, nullptr, "SREQ?", nullptr};
    for (unsigned n = 0; n < 16; ++n)
        if (singles[n])
            b.add(singles[n], std::string("80") + Hex(n));
    b.add("INTON", "8080");
    b.add("RSI", "80810");
    b.add("BUSCB", "8083");
    b.add("PC=(A)", "808C");
    b.add("BUSCD", "808D");
    b.add("PC=(C)", "808E");
    b.add("INTOFF", "808F");
    for (unsigned n = 0; n < 16; ++n) {
        const std::string bit = std::to_string(n);
        b.add("C=P." + bit, std::string("80C") + Hex(n));
        b.add("P=C." + bit, std::string("80D") + Hex(n));
        b.add("CPEX." + bit, std::string("80F") + Hex(n));
        b.add("ABIT=0." + bit, std::string("8084") + Hex(n));
        b.add("ABIT=1." + bit, std::string("8085") + Hex(n));
        b.add("?ABIT=0." + bit, std::string("8086") + Hex(n), true);
        b.add("?ABIT=1." + bit, std::string("8087") + Hex(n), true);
        b.add("CBIT=0." + bit, std::string("8088") + Hex(n));
        b.add("CBIT=1." + bit, std::string("8089") + Hex(n));
        b.add("?CBIT=0." + bit, std::string("808A") + Hex(n), true);
        b.add("?CBIT=1." + bit, std::string("808B") + Hex(n), true);
    }
}

void AddGroup81(Builder& b)
{
    for (unsigned r = 0; r < 4; ++r) {
        const std::string reg = FirstRegister[r];
        b.add(reg + "SLC", std::string("81") + Hex(r));
        b.add(reg + "SRC", std::string("81") + Hex(r + 4));
        b.add(reg + "SRB", std::string("81") + Hex(r + 12));
        for (unsigned k = 1; k <= 16; ++k) {
            // The constant's field is not part of the text: field A, unless
            // written after a dot (k = 1 with a field is the B group's
            // increment and decrement, which spell the same).
            b.add(reg + "=" + reg + "+" + std::to_string(k), std::string("818") + Hex(WideFieldA) + Hex(r) + Hex(k - 1));
            b.add(reg + "=" + reg + "-" + std::to_string(k), std::string("818") + Hex(WideFieldA) + Hex(r + 8) + Hex(k - 1));
            if (k > 1)
                for (unsigned f = 0; f < 9; ++f) {
                    const unsigned code = f < 8 ? f : WideFieldA;
                    const std::string field = std::string(".") + (f < 8 ? FieldNames[f] : "A");
                    b.add(reg + "=" + reg + "+" + std::to_string(k) + field, std::string("818") + Hex(code) + Hex(r) + Hex(k - 1));
                    b.add(reg + "=" + reg + "-" + std::to_string(k) + field, std::string("818") + Hex(code) + Hex(r + 8) + Hex(k - 1));
                }
        }
    }
    for (unsigned f = 0; f < 9; ++f) {
        const unsigned code = f < 8 ? f : WideFieldA;
        const std::string field = std::string(".") + (f < 8 ? FieldNames[f] : "A");
        for (unsigned r = 0; r < 4; ++r)
            b.add(std::string(FirstRegister[r]) + "SRB" + field, std::string("819") + Hex(code) + Hex(r));
        for (unsigned n = 0; n < 5; ++n) {
            const std::string reg = std::string("R").append(std::to_string(n));
            const std::string prefix = std::string("81A") + Hex(code);
            b.add(reg + "=A" + field, prefix + "0" + Hex(n));
            b.add(reg + "=C" + field, prefix + "0" + Hex(n + 8));
            b.add("A=" + reg + field, prefix + "1" + Hex(n));
            b.add("C=" + reg + field, prefix + "1" + Hex(n + 8));
            b.add("A" + reg + "EX" + field, prefix + "2" + Hex(n));
            b.add("C" + reg + "EX" + field, prefix + "2" + Hex(n + 8));
        }
    }
    const char* const pcMoves[6] = {"PC=A", "PC=C", "A=PC", "C=PC", "APCEX", "CPCEX"};
    for (unsigned n = 0; n < 6; ++n)
        b.add(pcMoves[n], std::string("81B") + Hex(n + 2));
}

void AddGroup8Rest(Builder& b)
{
    b.add("NOP3", "820");
    b.add("CLRHST", "82F");
    for (unsigned n = 0; n < 16; ++n) {
        b.add(HstTests[n], std::string("83") + Hex(n), true);
        const std::string bit = std::to_string(n);
        b.add("ST=0." + bit, std::string("84") + Hex(n));
        b.add("ST=1." + bit, std::string("85") + Hex(n));
        b.add("?ST=0." + bit, std::string("86") + Hex(n), true);
        b.add("?ST=1." + bit, std::string("87") + Hex(n), true);
        b.add("?P#" + bit, std::string("88") + Hex(n), true);
        b.add("?P=" + bit, std::string("89") + Hex(n), true);
    }
    // The printed text of 83E has a '?' for its second '&'; the regular
    // spelling is taken too.
    b.add("?SB=0&SR=0&MP=0", "83E", true);
    for (unsigned x = 0; x < 16; ++x) {
        b.add(Fill(TestFormats[x >> 2], x & 3) + ".A", std::string("8A") + Hex(x), true);
        b.add(Fill(TestFormats[4 + (x >> 2)], x & 3) + ".A", std::string("8B") + Hex(x), true);
    }
}

void AddGroups9ToF(Builder& b)
{
    for (unsigned a = 0; a < 16; ++a)
        for (unsigned x = 0; x < 16; ++x) {
            const std::string field = std::string(".") + FieldNames[a & 7];
            const unsigned upper = a & 8 ? 4 : 0;
            const unsigned pair = x & 3;
            b.add(Fill(TestFormats[upper + (x >> 2)], pair) + field, std::string("9") + Hex(a) + Hex(x), true);
            b.add(Fill(ArithmeticFormats[upper + (x >> 2)], pair) + field, std::string("A") + Hex(a) + Hex(x));
            b.add(Fill(ArithmeticFormats[8 + upper + (x >> 2)], pair) + field, std::string("B") + Hex(a) + Hex(x));
        }
    for (unsigned group = 0; group < 4; ++group)
        for (unsigned x = 0; x < 16; ++x)
            b.add(Fill(ArithmeticFormats[4 * group + (x >> 2)], x & 3) + ".A", std::string(1, Hex(0xC + group)) + Hex(x));
}

std::unordered_map<std::string, FixedForm> Build()
{
    Builder b;
    AddGroup0(b);
    AddGroup1(b);
    AddJumpSingles(b);
    AddGroup80(b);
    AddGroup81(b);
    AddGroup8Rest(b);
    AddGroups9ToF(b);
    return std::move(b.Forms);
}

} // namespace

const std::unordered_map<std::string, FixedForm>& FixedForms()
{
    static const std::unordered_map<std::string, FixedForm> forms = Build();
    return forms;
}

} // namespace saturn
