// Random receivers of an XModem transfer of random data, with transfers
// re-armed (or armed with a null buffer) along the way: whatever comes back,
// each answer brings a whole block of the data (0x1A past its end), the end
// of transmission, or nothing, and nothing is read past the data.
#include <cstdlib>
#include <cstring>

#include "helper/xmodem/xmodem.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/rom/xmodem_block.h"

static std::vector<uint8_t> Sent;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in{data, size};
    // The transfer as the sender must see it.
    std::vector<uint8_t> file;
    bool armed = false;
    size_t position = 0;
    uint8_t number = 1;
    const auto arm = [&] {
        file.resize(in.u32() % 2000);
        for (uint8_t& b : file)
            b = in.byte();
        // Exactly the size: a read past it is the sanitizer's to catch.
        uint8_t* buffer = in.byte() % 8 == 0 ? nullptr : static_cast<uint8_t*>(std::malloc(std::max<size_t>(file.size(), 1)));
        if (buffer && !file.empty())
            std::memcpy(buffer, file.data(), file.size());
        armed = buffer != nullptr;
        position = 0;
        number = 1;
        const auto record = [](uint32_t byte) -> int32_t { Sent.push_back(static_cast<uint8_t>(byte)); return 1; };
        KHXModemSendFile(record, buffer, static_cast<uint32_t>(file.size()));
    };
    arm();
    while (in.Size > 0) {
        const uint8_t op = in.byte();
        if (op == 0xA5) {
            arm();
            continue;
        }
        const uint8_t answer = op < 0x60 ? 0x06 : op; // mostly acknowledgements
        Sent.clear();
        KHXModemOnByteReceived(answer);
        std::vector<uint8_t> expected;
        if (armed && answer == 0x06 && position >= file.size()) {
            armed = false;
        } else if (armed) {
            if (answer == 0x06) {
                position += 128;
                ++number;
            }
            expected = position < file.size() ? test::XModemBlock(file, position, number) : std::vector<uint8_t>{0x04};
        }
        fuzz::Check(Sent == expected);
    }
    KHXModemSendFile(nullptr, nullptr, 0);
    return 0;
}
