#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "engine/core/interrupts.h"
#include "engine/core/serial.h"
#include "engine/core/timers.h"
#include "tests/support/machine.h"

using namespace korvane;

namespace {

// (handler, event, value), as the handlers heard them.
using Events = std::vector<std::tuple<char, uint32_t, uint32_t>>;
Events Log;
// How many of the next transmitted bytes the handlers cannot take.
int Refusals = 0;

template <char Name>
uint32_t Handler(uint32_t kind, uint32_t value)
{
    Log.emplace_back(Name, kind, value);
    return kind != KV_SERIAL_TRANSMIT || Refusals-- <= 0;
}

Events Heard() // since the last call
{
    return std::exchange(Log, {});
}

uint16_t Pending()
{
    return PendingInterrupts.exchange(0);
}

// Two registers read as one byte: the first gives the high nibble.
uint32_t ReadPair(uint32_t high, uint32_t low)
{
    const uint32_t h = ReadSerialRegister(high);
    return h << 4 | ReadSerialRegister(low);
}

// The calculator's program sends a byte: low nibble, then high.
void Transmit(uint8_t byte)
{
    WriteSerialRegister(0x16, byte & 0xF);
    WriteSerialRegister(0x17, byte >> 4);
}

struct Serial : ::testing::Test {
    Serial()
    {
        KVSetSerialHandler(nullptr);
        SerialRegisters = {};
        Sleeping.store(0);
        Log.clear();
        Refusals = 0;
    }
    test::Machine M;
};

// Each rate is reported as it is written while the port is off, and again
// in the replay of every handler registered; with the port on it stays.
TEST_F(Serial, RegisteringReplaysThePortStateInOrderAndTheRateChangesOnlyWhileOff)
{
    const uint32_t rates[8] = {1200, 1920, 2400, 3840, 4800, 7680, 9600, 15360};
    KVSetSerialHandler(Handler<'A'>);
    for (uint32_t index = 0; index < 8; ++index) {
        Heard();
        WriteSerialRegister(0x0D, index | 8); // bit 3 is not part of the index
        EXPECT_EQ(ReadSerialRegister(0x0D), index);
        KVSetSerialHandler(Handler<'A'>);
        EXPECT_EQ(Heard(), (Events{{'A', 6, rates[index]}, {'A', 1, 1}, {'A', 6, rates[index]}}));
    }
    KVSetSerialHandler(nullptr);
    WriteSerialRegister(0x0D, 3);
    WriteSerialRegister(0x10, 0xC); // on, transmit interrupts
    Transmit(0x41);
    EXPECT_EQ(ReadSerialRegister(0x12), 1u) << "no handler: the byte waits";
    Transmit(0x42);
    EXPECT_EQ(Pending(), 0);

    KVSetSerialHandler(Handler<'A'>);
    EXPECT_EQ(Heard(), (Events{{'A', 1, 1}, {'A', 6, 3840}, {'A', 2, 0}, {'A', 4, 0x42}}));
    EXPECT_EQ(std::tuple(ReadSerialRegister(0x12), Pending()), std::tuple(0u, RequestSerialTransmit));

    // The old handler hears of the closing before the new one's replay.
    KVSetSerialHandler(Handler<'B'>);
    EXPECT_EQ(Heard(), (Events{{'A', 3, 0}, {'B', 1, 1}, {'B', 6, 3840}, {'B', 2, 0}}));
    WriteSerialRegister(0x0D, 2);
    EXPECT_EQ(ReadSerialRegister(0x0D), 3u);
    EXPECT_TRUE(Heard().empty());
    KVSetSerialHandler(nullptr);
    EXPECT_EQ(Heard(), (Events{{'B', 3, 0}}));
}

TEST_F(Serial, AReceivedByteIsTakenWithItsHighNibble)
{
    KVSetSerialHandler(Handler<'A'>);
    WriteSerialRegister(0x10, 0x2); // receive interrupts, port still off
    Heard();
    EXPECT_EQ(KVSerialSendByte(2, 0x55), 0u) << "only channel 1";
    Sleeping.store(1);
    EXPECT_EQ(KVSerialSendByte(1, 0x41), 1u);
    EXPECT_EQ(std::tuple(Sleeping.load(), Pending()), std::tuple(0u, RequestSerialReceive));
    EXPECT_EQ(ReadPair(0x11, 0x14), 0x11u);
    EXPECT_TRUE(Heard().empty());
    EXPECT_EQ(ReadPair(0x15, 0x15), 0x44u);
    EXPECT_EQ(ReadSerialRegister(0x11), 0u);
    EXPECT_EQ(Heard(), (Events{{'A', 5, 0}})) << "once";

    // A write of the low nibble takes the high one the same way; a write of
    // the high nibble does not, and neither fills the register.
    KVSerialSendByte(1, 0x9C);
    WriteSerialRegister(0x14, 0x3);
    EXPECT_EQ(Heard(), (Events{{'A', 5, 0}}));
    EXPECT_EQ(SerialRegisters.ReceiveBuffer, 0x93);
    WriteSerialRegister(0x15, 0x6);
    WriteSerialRegister(0x14, 0x1);
    EXPECT_EQ(std::tuple(SerialRegisters.ReceiveBuffer, ReadSerialRegister(0x11)), std::tuple(uint8_t{0x61}, 0u));
    EXPECT_TRUE(Heard().empty());
}

TEST_F(Serial, TransmitLoopbackOverrunAndAByteTheHandlerCannotTakeYet)
{
    KVSetSerialHandler(Handler<'A'>);
    WriteSerialRegister(0x0D, 5);
    WriteSerialRegister(0x10, 0x8); // on, no interrupts
    Heard();
    Transmit(0xA5);
    EXPECT_EQ(Heard(), (Events{{'A', 4, 0xA5}}));
    EXPECT_EQ(ReadSerialRegister(0x12) + Pending(), 0u);

    // Looped back the byte is received by the calculator itself, unreported;
    // a second one before the first is read overruns, without an interrupt.
    WriteSerialRegister(0x10, 0xE);
    WriteSerialRegister(0x12, 0x4);
    Transmit(0x3C);
    EXPECT_TRUE(Heard().empty());
    EXPECT_EQ(ReadPair(0x12, 0x11), 0x41u);
    EXPECT_EQ(Pending(), RequestSerialReceive | RequestSerialTransmit);
    KVSerialSendByte(1, 0x3D);
    EXPECT_EQ(std::tuple(ReadSerialRegister(0x11), Pending()), std::tuple(5u, uint16_t{0}));
    EXPECT_EQ(ReadPair(0x15, 0x14), 0x3Du);
    WriteSerialRegister(0x13, 0);
    EXPECT_EQ(ReadSerialRegister(0x11), 0u);

    // A byte the handler cannot take stays in the register, the transmitter
    // busy and no interrupt raised, and is offered again when the program
    // looks at its transmitter and at every slice tick, until it is taken.
    WriteSerialRegister(0x10, 0xC); // on, transmit interrupts
    WriteSerialRegister(0x12, 0);   // no loopback
    Heard();
    Pending();
    Refusals = 3;
    Transmit(0x5A);
    EXPECT_EQ(std::tuple(ReadSerialRegister(0x12), Pending()), std::tuple(1u, uint16_t{0}));
    SliceTick();
    EXPECT_EQ(Pending(), 0);
    SliceTick();
    EXPECT_EQ(std::tuple(ReadSerialRegister(0x12), Pending()), std::tuple(0u, RequestSerialTransmit));
    SliceTick();
    EXPECT_EQ(Heard(), Events(4, {'A', 4, 0x5A})) << "offered four times, then no more";

    // Switching off clears the port, the enables just written included, and
    // keeps the rate and the last byte sent.
    Transmit(0x77);
    Heard();
    WriteSerialRegister(0x10, 0x6);
    EXPECT_EQ(Heard(), (Events{{'A', 3, 0}}));
    for (uint32_t offset : {0x10u, 0x11u, 0x12u, 0x14u, 0x15u})
        EXPECT_EQ(ReadSerialRegister(offset), 0u) << offset;
    EXPECT_EQ(ReadSerialRegister(0x0D) << 8 | ReadPair(0x17, 0x16), 0x577u);
}

} // namespace
