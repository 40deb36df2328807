// Random answers to a Kermit transfer of random data, mostly well formed with
// a fuzzed MAXL, sequence, type or length, raw bytes between them: nothing is
// read past the data, and every packet is whole and within its limits.
#include "helper/kermit/kermit.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/helper/support/kermit_model.h"

static std::vector<uint8_t> Sent;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in{data, size};
    tessock::Kermit.Maxl = 17 + in.byte() % 78;
    std::vector<uint8_t> file(in.u32() % 3000);
    for (uint8_t& b : file)
        b = in.byte();
    size_t decoded = 0;
    uint32_t sequence = 0;
    // Every packet sent since the last look: SOH to CR, LEN true to its
    // length, LEN and the data field within their limits, the check sound,
    // and no more data than the file holds.
    const auto checkPackets = [&] {
        for (const test::kermit::Packet& p : test::kermit::SplitPackets(Sent)) {
            bool cut = false;
            if (p.Type == 'D')
                decoded += test::kermit::Decode(p.Field, true, &cut).size();
            fuzz::Check(p.Sound && p.Len <= static_cast<uint32_t>(tessock::KermitMaximumMaxl) &&
                        p.Field.size() <= tessock::KermitDataFieldSize && !cut &&
                        (p.Type != 'D' || !p.Field.empty()) && decoded <= file.size());
        }
        Sent.clear();
    };
    const auto record = [](uint32_t byte) -> int32_t { Sent.push_back(static_cast<uint8_t>(byte)); return 1; };
    KHKermitSendFile(record, "NAME", file.data(), static_cast<uint32_t>(file.size()));
    checkPackets();
    while (in.Size > 0) {
        const uint8_t kind = in.byte() % 6, first = in.byte(), second = in.byte(), third = in.byte();
        std::vector<uint8_t> answer;
        if (kind == 0)
            answer = test::kermit::SendInitAck(first, second);
        else if (kind <= 2)
            answer = test::kermit::Ack(++sequence % 64);
        else if (kind == 3)
            answer = test::kermit::Ack(first % 64, std::string(second % 100, 'x'), third & 1 ? 'Y' : 'N');
        else if (kind == 4) {
            for (int n = first % 16; n >= 0; --n)
                answer.push_back(in.byte());
        } else {
            answer = test::kermit::Ack(sequence % 64);
            answer[first % answer.size()] = second;
        }
        for (uint8_t b : answer)
            KHKermitOnByteReceived(b);
        checkPackets();
    }
    tessock::KermitFreeCopies();
    return 0;
}
