// Random answers to a Kermit transfer of random data: the acknowledgement
// parsers take any byte stream. Answers are built mostly well formed, with
// a fuzzed MAXL, sequence, type or length, and raw bytes between them.
// Nothing crashes, nothing is read past the data, and every packet is
// whole and within its limits.
#include <cstdlib>
#include <vector>

#include "helper/kermit/kermit.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/helper/support/kermit_model.h"

namespace {

std::vector<uint8_t> Sent;

int32_t Record(uint32_t byte)
{
    Sent.push_back(static_cast<uint8_t>(byte));
    return 1;
}

// Every packet sent since the last look: SOH to CR, LEN true to its
// length, LEN and the data field within their limits, the check sound.
void CheckPackets(size_t& dataDecoded, size_t dataSize)
{
    for (const test::kermit::Packet& p : test::kermit::SplitPackets(Sent)) {
        if (!p.Sound || p.Len > static_cast<uint32_t>(tessock::KermitMaximumMaxl))
            std::abort();
        if (p.Field.size() > tessock::KermitDataFieldSize)
            std::abort();
        if (p.Type == 'D') {
            bool cut = false;
            dataDecoded += test::kermit::Decode(p.Field, true, &cut).size();
            if (cut || p.Field.empty() || dataDecoded > dataSize)
                std::abort();
        }
    }
    Sent.clear();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    tessock::Kermit.Maxl = 17 + in.byte() % 78;
    const size_t fileSize = in.u32() % 3000;
    std::vector<uint8_t> file(fileSize);
    for (uint8_t& b : file)
        b = in.byte();
    Sent.clear();
    KHKermitSendFile(&Record, "NAME", file.data(), static_cast<uint32_t>(file.size()));
    size_t decoded = 0;
    uint32_t sequence = 0;
    CheckPackets(decoded, fileSize);
    while (in.remaining() > 0) {
        const uint8_t op = in.byte();
        std::vector<uint8_t> answer;
        switch (op % 6) {
        case 0:
            answer = test::kermit::SendInitAck(in.byte(), in.byte());
            break;
        case 1:
        case 2:
            ++sequence;
            answer = test::kermit::Ack(sequence % 64);
            break;
        case 3: {
            std::string text(in.byte() % 100, 'x');
            answer = test::kermit::Ack(in.byte() % 64, text, in.byte() & 1 ? 'Y' : 'N');
            break;
        }
        case 4:
            for (int n = in.byte() % 16; n >= 0; --n)
                answer.push_back(in.byte());
            break;
        default:
            answer = test::kermit::Ack(sequence % 64);
            if (!answer.empty())
                answer[in.byte() % answer.size()] = in.byte();
            break;
        }
        for (uint8_t b : answer)
            KHKermitOnByteReceived(b);
        CheckPackets(decoded, fileSize);
    }
    tessock::KermitFreeCopies();
    return 0;
}
