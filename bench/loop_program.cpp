#include "loop_program.h"

namespace bench {

test::Program BuildProgram()
{
    test::Program p(CodeOrigin);

    p.label("init")
        .p(0)
        .d0(Timer2ControlRegister)
        .lc(1, 1)
        .op("15C0") // DAT0=C 1: TIMER2 runs, without interrupt or wake
        .rtn();

    p.label("run").gosub("body").goto_("run");

    p.label("routine")
        .d0(RoutineCountCell)
        .op("1567") // C=DAT0 W
        .op("AF7")  // D=C W
        .label("rloop")
        .gosub("body")
        .op("A7F") // D=D-1 W: borrows once D was 0
        .gonc("rloop")
        .rtn();

    p.label("body")
        // Count the pass and copy TIMER2 out of the I/O window.
        .d1(IterationCell)
        .op("1537") // A=DAT1 W
        .op("B74")  // A=A+1 W
        .op("1517") // DAT1=A W
        .d0(Timer2Register)
        .op("15E7") // C=DAT0 8
        .op("17F")  // D1=D1+ 16
        .op("15D7") // DAT1=C 8
        // Hexadecimal arithmetic; B = A + 1 makes the test fall through.
        .p(0)
        .lc(5, 0x1F3A7)
        .op("D5")  // B=C A
        .op("C0")  // A=A+B A
        .op("C2")  // C=C+A A
        .p(4)
        .op("A1A") // A=A+C WP
        .op("D8")  // B=A A
        .op("E5")  // B=B+1 A
        .op("8A0") // ?A=B A
        .goyes("never")
        .op("CE") // C=C-1 A
        .gosub("sub")
        // Decimal arithmetic: A = 2 * 12345 - 1, so ?A=0 fails and ?A#0 holds.
        .setdec()
        .p(0)
        .lc(5, 0x12345)
        .op("DA")  // A=C A
        .op("CA")  // A=A+C A
        .op("A36") // C=C+C X
        .op("CC")  // A=A-1 A
        .op("8A8") // ?A=0 A
        .goyes("never")
        .op("8AC") // ?A#0 A
        .goyes("decimalDone")
        .op("D0") // A=0 A, skipped
        .label("decimalDone")
        .op("C2") // C=C+A A
        .sethex()
        // A round trip through RAM: C reads back what A wrote.
        .d0(ScratchCell)
        .op("140") // DAT0=A A
        .op("164") // D0=D0+ 5
        .op("144") // DAT0=C A
        .op("184") // D0=D0- 5
        .op("146") // C=DAT0 A
        .op("8A2") // ?C=A A
        .goyes("done")
        .op("D2") // C=0 A, skipped
        .label("done")
        .rtn();

    p.label("sub")
        .op("CA")  // A=A+C A
        .op("B36") // C=C+1 X
        .rtn();

    // A branch the loop never takes: it would stop in a tight loop here.
    p.label("never").goto_("never");
    return p;
}

} // namespace bench
