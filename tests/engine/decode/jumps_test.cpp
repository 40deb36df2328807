#include <gtest/gtest.h>

#include "engine/core/cpu_state.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;
using test::Program;

namespace {

TEST(Jumps, GosubAndRtnRoundTripThroughTheReturnStack)
{
    Machine m;
    Program p(0x00100);
    p.gosub("sub").label("after").goto_("after");
    p.label("sub").rtn();
    m.load(p);
    m.step();
    EXPECT_EQ(Cpu.PC, p.at("sub"));
    EXPECT_EQ(Cpu.RSTK[0], 0x00104u);
    EXPECT_EQ(Cpu.RstkIndex, 1u);
    EXPECT_EQ(Cpu.SliceCycles, 60u);
    m.step();
    EXPECT_EQ(Cpu.PC, p.at("after"));
    EXPECT_EQ(Cpu.RstkIndex, 0u);
    EXPECT_EQ(Cpu.RSTK[0], 0u);
}

} // namespace
