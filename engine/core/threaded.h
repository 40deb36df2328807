// The threaded loop: instructions run from the code cache (code_cache.h),
// each entry's label jumping straight to the next entry's, with no decoding
// and no return to a central loop between them.
#pragma once

#include <cstdint>

#pragma GCC visibility push(hidden)
namespace korvane {

// The instructions left to run: the slice's, or a routine's. Only the thread
// that runs instructions writes it; a stop made there (from a handler an
// instruction called) sets it to 1, so that the run ends after the current
// instruction.
extern uint32_t SliceInstructionsLeft;

// Runs instructions from PC through the code cache, each counted off
// SliceInstructionsLeft, until it reaches 0; for a routine also until PC is
// StartSentinel. Otherwise (run mode only) it returns when a request is
// pending after an instruction, before that instruction is counted: the
// caller decides the request and then counts it, as the reference loop does.
// A request from another thread is seen after the next instruction that
// jumps, calls or returns, or that reaches beyond the plain pages.
void RunThreaded(bool routine);

} // namespace korvane
#pragma GCC visibility pop
