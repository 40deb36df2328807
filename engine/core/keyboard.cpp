#include "engine/core/keyboard.h"

namespace korvane {

void ResetKeyboard() {}
void ScanKeyboard() {}
void ResetKeyScan() {}
void CheckOnKey() {}

} // namespace korvane
