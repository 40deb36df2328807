// The control leaves of the 808 stub: one handler stands in both tables,
// since none of them touches a working register.
#include "engine/group8/control.h"

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/keyboard.h"

namespace korvane {

// INTON does not scan: a key interrupt owed meanwhile is raised by the next
// scan or IN read.
void OpIntOn()
{
    StoreRelaxed(Cpu.KeyInterruptsEnabled, uint8_t{1});
    Cpu.PC += 4;
    Cpu.SliceCycles += 28;
}

void OpIntOff()
{
    StoreRelaxed(Cpu.KeyInterruptsEnabled, uint8_t{0});
    Cpu.PC += 4;
    Cpu.SliceCycles += 28;
}

// 80810 RSI: arms the scan, clears IN and scans.
void OpRsi()
{
    ResetKeyScan();
    Cpu.PC += 5;
    Cpu.SliceCycles += 34;
}

// 8081n is RSI for n = 0 and no instruction otherwise.
void RsiLevel()
{
    if (OperandNibble(4) == 0)
        OpRsi();
}

// 8083 BUSCB and 808D BUSCD: no bus to command here.
void OpBusCB()
{
    Cpu.PC += 4;
}

} // namespace korvane
