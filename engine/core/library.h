// The engine's life with its library: brought up when the library is
// loaded, torn down when it is unloaded or the process ends.
#pragma once

namespace korvane {

void LibraryAttach();
// Stops the execution thread and frees what the engine allocated. Every
// export stays harmless afterwards: the locks and events remain, and with
// no thread the run controls do nothing. A second call does nothing more.
void LibraryDetach();

} // namespace korvane
