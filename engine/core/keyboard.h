// The 9 by 9 key matrix, the ON key and the scan that turns OUT into IN.
#pragma once

#include <cstdint>

namespace korvane {

void ResetKeyboard();
void ScanKeyboard();
void ResetKeyScan();
void CheckOnKey();

} // namespace korvane
