// A small assembler for tests: places nibbles at an address, with labels,
// immediates written low nibble first and breakpoint tags.
//
//     Program p(0x00100);
//     p.lc(5, 0x12345).gosub("sub").label("end").goto_("end");
//     p.label("sub").rtn();
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace test {

class Program {
public:
    explicit Program(uint32_t origin = 0) : Origin(origin) {}

    uint32_t origin() const { return Origin; }
    // Address of the next nibble to be placed.
    uint32_t here() const { return (Origin + static_cast<uint32_t>(Nibbles.size())) & 0xFFFFF; }
    uint32_t size() const { return static_cast<uint32_t>(Nibbles.size()); }
    uint32_t at(const std::string& label) const;

    // Nibbles in fetch order, written as hexadecimal digits: "8082" is 8, 0, 8, 2.
    Program& op(std::string_view hexDigits);
    // A value of count nibbles, least significant first.
    Program& imm(uint64_t value, unsigned count);
    Program& label(const std::string& name);
    // Tags the first nibble of the next instruction with a breakpoint.
    Program& breakpoint();

    // A relative offset of width nibbles to label, counted from base (the
    // address of the offset field plus baseAdjust).
    Program& relative(const std::string& target, unsigned width, int baseAdjust = 0);

    // Instructions used across the tests.
    Program& rtn() { return op("01"); }
    Program& rtnsxm() { return op("00"); }
    Program& rtnsc() { return op("02"); }
    Program& rtncc() { return op("03"); }
    Program& sethex() { return op("04"); }
    Program& setdec() { return op("05"); }
    Program& rti() { return op("0F"); }
    Program& p(unsigned n) { return op("2").imm(n, 1); }
    Program& lc(unsigned count, uint64_t value) { return op("3").imm(count - 1, 1).imm(value, count); }
    Program& la(unsigned count, uint64_t value) { return op("8082").imm(count - 1, 1).imm(value, count); }
    Program& d0(uint32_t address) { return op("1B").imm(address, 5); }
    Program& d1(uint32_t address) { return op("1F").imm(address, 5); }
    // GOC/GONC count from their offset field; GOTO likewise; GOSUB from the
    // next instruction.
    Program& goc(const std::string& target) { return op("4").relative(target, 2); }
    Program& gonc(const std::string& target) { return op("5").relative(target, 2); }
    Program& rtnc() { return op("400"); }
    Program& rtnnc() { return op("500"); }
    Program& goto_(const std::string& target) { return op("6").relative(target, 3); }
    Program& gosub(const std::string& target) { return op("7").relative(target, 3, 3); }
    Program& govlng(uint32_t address) { return op("8D").imm(address, 5); }
    Program& gosbvl(uint32_t address) { return op("8F").imm(address, 5); }
    // A test's GOYES tail: two nibbles counted from the offset field.
    Program& goyes(const std::string& target) { return relative(target, 2); }
    Program& rtnyes() { return op("00"); }

    // The placed nibbles with their addresses, labels resolved.
    struct Placed {
        uint32_t Address;
        uint8_t Byte;
    };
    std::vector<Placed> build() const;

private:
    struct Fixup {
        size_t Position;
        unsigned Width;
        int BaseAdjust;
        std::string Target;
    };

    uint32_t Origin;
    std::vector<uint8_t> Nibbles;
    std::map<std::string, uint32_t> Labels;
    std::vector<Fixup> Fixups;
    bool TagNext = false;
};

} // namespace test
