#include "tests/support/program.h"

#include <stdexcept>

namespace test {

uint32_t Program::at(const std::string& name) const
{
    auto it = Labels.find(name);
    if (it == Labels.end())
        throw std::runtime_error("unknown label " + name);
    return it->second;
}

Program& Program::op(std::string_view hexDigits)
{
    for (char c : hexDigits) {
        unsigned value = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : c - 'a' + 10;
        if (value > 15)
            throw std::runtime_error("bad nibble digit");
        uint8_t byte = static_cast<uint8_t>(value);
        if (TagNext) {
            byte |= 0x10;
            TagNext = false;
        }
        Nibbles.push_back(byte);
    }
    return *this;
}

Program& Program::imm(uint64_t value, unsigned count)
{
    for (unsigned i = 0; i < count; ++i)
        Nibbles.push_back(static_cast<uint8_t>((value >> (4 * i)) & 15));
    return *this;
}

Program& Program::label(const std::string& name)
{
    Labels[name] = here();
    return *this;
}

Program& Program::breakpoint()
{
    TagNext = true;
    return *this;
}

Program& Program::relative(const std::string& target, unsigned width, int baseAdjust)
{
    Fixups.push_back({Nibbles.size(), width, baseAdjust, target});
    return imm(0, width);
}

std::vector<Program::Placed> Program::build() const
{
    std::vector<uint8_t> nibbles = Nibbles;
    for (const Fixup& fixup : Fixups) {
        const int64_t base = static_cast<int64_t>(Origin) + static_cast<int64_t>(fixup.Position) + fixup.BaseAdjust;
        int64_t offset = static_cast<int64_t>(at(fixup.Target)) - base;
        const int64_t span = int64_t{1} << (4 * fixup.Width);
        // Targets across the top of the address space wrap.
        if (offset >= span / 2)
            offset -= 0x100000;
        if (offset < -span / 2)
            offset += 0x100000;
        if (offset >= span / 2 || offset < -span / 2)
            throw std::runtime_error("offset out of range for " + fixup.Target);
        for (unsigned i = 0; i < fixup.Width; ++i)
            nibbles[fixup.Position + i] = static_cast<uint8_t>((static_cast<uint64_t>(offset) >> (4 * i)) & 15);
    }
    std::vector<Placed> placed;
    placed.reserve(nibbles.size());
    for (size_t i = 0; i < nibbles.size(); ++i)
        placed.push_back({static_cast<uint32_t>((Origin + i) & 0xFFFFF), nibbles[i]});
    return placed;
}

} // namespace test
