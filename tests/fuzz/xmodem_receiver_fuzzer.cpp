// Random receivers of an XModem transfer of random data, with transfers
// re-armed (or armed with a null buffer) along the way: whatever comes
// back, each answer brings a whole block of the data (0x1A past its end),
// the end of transmission, or nothing, and nothing is read past the data.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "helper/xmodem/xmodem.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

std::vector<uint8_t> Sent;

int32_t Record(uint32_t byte)
{
    Sent.push_back(static_cast<uint8_t>(byte));
    return 1;
}

// The model's transfer.
struct Model {
    std::vector<uint8_t> Data;
    bool Armed = false;
    size_t Position = 0;
    uint8_t Number = 1;
};

void Arm(Model& model, fuzz::Input& in)
{
    const size_t size = in.u32() % 2000;
    model.Data.assign(size, 0);
    for (uint8_t& b : model.Data)
        b = in.byte();
    model.Position = 0;
    model.Number = 1;
    // Exactly the size: a read past it is the sanitizer's to catch.
    const bool null = in.byte() % 8 == 0;
    uint8_t* buffer = null ? nullptr : static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (buffer && size > 0)
        std::memcpy(buffer, model.Data.data(), size);
    model.Armed = buffer != nullptr;
    KHXModemSendFile(&Record, buffer, static_cast<uint32_t>(size));
}

std::vector<uint8_t> Expected(const Model& m)
{
    if (m.Position >= m.Data.size())
        return {0x04};
    std::vector<uint8_t> block{0x01, m.Number, static_cast<uint8_t>(255 - m.Number)};
    unsigned sum = 0;
    for (size_t i = m.Position; i < m.Position + 128; ++i) {
        block.push_back(i < m.Data.size() ? m.Data[i] : 0x1A);
        sum += block.back();
    }
    block.push_back(static_cast<uint8_t>(sum));
    return block;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    Model model;
    Arm(model, in);
    while (in.remaining() > 0) {
        const uint8_t op = in.byte();
        if (op == 0xA5) {
            Arm(model, in);
            continue;
        }
        // Mostly acknowledgements, or the byte itself.
        const uint8_t answer = op < 0x60 ? 0x06 : op;
        Sent.clear();
        KHXModemOnByteReceived(answer);
        std::vector<uint8_t> expected;
        if (model.Armed) {
            if (answer == 0x06 && model.Position >= model.Data.size()) {
                model.Armed = false;
            } else {
                if (answer == 0x06) {
                    model.Position += 128;
                    ++model.Number;
                }
                expected = Expected(model);
            }
        }
        if (Sent != expected)
            std::abort();
    }
    KHXModemSendFile(nullptr, nullptr, 0);
    return 0;
}
