#include "engine/core/trace.h"

namespace korvane {

std::atomic<uint32_t> TraceMode;

void RecordTrace() {}
void FreeTraceLog() {}

} // namespace korvane
