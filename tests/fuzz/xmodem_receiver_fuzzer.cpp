// Random receivers of an XModem transfer of random data, with transfers
// re-armed (or armed with a null buffer) along the way: whatever comes back,
// an ACK brings the next whole block of the data (0x1A past its end) or the
// end of transmission, a NAK the same again until the tenth in a row, two
// CANs in a row end the transfer, anything else brings nothing, and nothing
// is read past the data.
#include <cstdlib>
#include <cstring>
#include <utility>

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
    unsigned naks = 0;
    bool afterCan = false;
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
        naks = 0;
        afterCan = false;
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
        // Mostly acknowledgements, NAKs and CANs.
        const uint8_t answer = op < 0x60 ? 0x06 : op < 0x70 ? 0x15 : op < 0x78 ? 0x18 : op;
        Sent.clear();
        KHXModemOnByteReceived(answer);
        std::vector<uint8_t> expected;
        const bool cancelled = std::exchange(afterCan, answer == 0x18) && answer == 0x18;
        if (armed && (cancelled || (answer == 0x06 && position >= file.size()) || (answer == 0x15 && ++naks == 10))) {
            armed = false;
        } else if (armed && (answer == 0x06 || answer == 0x15)) {
            if (answer == 0x06) {
                position += 128;
                ++number;
                naks = 0;
            }
            expected = position < file.size() ? test::XModemBlock(file, position, number) : std::vector<uint8_t>{0x04};
        }
        fuzz::Check(Sent == expected);
    }
    KHXModemSendFile(nullptr, nullptr, 0);
    return 0;
}
