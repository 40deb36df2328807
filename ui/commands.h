// Command ids of the popup menu and the window buttons.
#pragma once

#include <cstdint>

namespace pelrin {

enum Command : uint32_t {
    CmdConsole = 1005,
    CmdQuit = 32771,
    CmdStart = 32772,
    CmdStop = 32773,
    CmdLoadOnStack = 32776,
    CmdAbout = 32778,
    CmdReset = 32779,
    CmdLoadState = 32780,
    CmdSaveState = 32781,
    CmdLoadWithKermit = 32782,
    CmdLoadWithXModem = 32783,
    CmdLoadInPort1 = 32784,
    CmdMinimize = 32785,
};

} // namespace pelrin
