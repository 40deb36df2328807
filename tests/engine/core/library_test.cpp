// The engine torn down as at unload or the process's end: every export
// stays harmless afterwards, since a library finalised later, or a thread
// still running while the process ends, may call one.
#include <gtest/gtest.h>

#include "engine/core/library.h"
#include "korvane.h"

namespace {

uint32_t SerialEvents = 0;

TEST(LibraryTeardown, EveryExportIsHarmlessOnceTheEngineIsDown)
{
    korvane::LibraryDetach();
    KVRun();
    EXPECT_EQ(KVIsRunning(), 0u) << "no thread to run";
    KVStop();
    KVStep();
    KVReset();
    EXPECT_EQ(KVSerialSendByte(1, 0x41), 1u);
    KVSetSerialHandler([](uint32_t, uint32_t) { ++SerialEvents; });
    EXPECT_GE(SerialEvents, 2u) << "the replay";
    KVSetSerialHandler(nullptr);
    KVPressKey(9, 9); // the ON key wakes and interrupts
    KVReleaseKey(9, 9);
    KVPressKey(1, 1);
    KVReleaseKey(1, 1);
    uint8_t state[512] = {};
    EXPECT_EQ(KVSaveState(state, sizeof state), 1u);
    EXPECT_EQ(KVRestoreState(state, sizeof state), 1u);
    KVForceRefresh();
    KVDiscardFrame(state);
    KVSetDisplayHandler(nullptr);
    KVExecuteRoutine(0x00000); // RTNSXM on a blank ROM returns at once
    korvane::LibraryDetach(); // a second teardown does nothing more
    EXPECT_EQ(KVIsRunning(), 0u);
}

} // namespace
