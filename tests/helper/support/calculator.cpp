#include "tests/helper/support/calculator.h"

#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace test {

namespace {

constexpr uint32_t RomNibbles = 0x100000;

} // namespace

Calculator::Calculator()
{
    KVStop();
    KVConfigure(2, 0);
    if (!KHCreateRom(RomNibbles))
        throw std::runtime_error("no ROM image");
    uint32_t size = 0;
    KHGetRom(&size, &Rom);
    KVMemoryReset();
}

Calculator::~Calculator()
{
    KVStop();
}

void Calculator::place(const Program& program)
{
    for (const Program::Placed& nibble : program.build())
        Rom[nibble.Address] = nibble.Byte;
}

void Calculator::load(const Program& program)
{
    place(program);
    KVSetRegister(KV_REG_PC, program.origin());
}

void Calculator::call(const Program& routine)
{
    place(routine);
    KVExecuteRoutine(routine.origin());
}

size_t ReadFor(int descriptor, uint8_t* into, size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    size_t got = 0;
    while (got < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd ready{descriptor, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) <= 0)
            continue;
        const ssize_t n = read(descriptor, into + got, count - got);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    return got;
}

} // namespace test
