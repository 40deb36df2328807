// The library's frame: what loading it has done by the time a client runs,
// and the two server exports that do nothing.
#include <gtest/gtest.h>

#include "helper/display/renderer.h"
#include "helper/serial/serial_link.h"
#include "korvane.h"
#include "tessock.h"

namespace {

TEST(Library, LoadingStartedTheRendererAndRegisteredTheSerialLink)
{
    ASSERT_NE(tessock::Renderer.RenderThread, nullptr);
    EXPECT_FALSE(tessock::Renderer.RenderThread->HasEnded());
    EXPECT_GE(KHSerialGetHandle(), 0);
    // The engine's answer to the registration set the channel: a channel
    // other than 1 here would mean the link was never registered.
    tessock::Link.SerialChannel.store(0);
    KVSetSerialHandler(&tessock::SerialEventHandler);
    EXPECT_EQ(tessock::Link.SerialChannel.load(), 1u);
}

TEST(Library, TheServerExportsDoNothingHoweverOftenTheyAreCalled)
{
    KHShutdownServer();
    for (uint32_t number : {0u, 4200u, 0xFFFFFFFFu})
        EXPECT_EQ(KHStartServer(number), 0u);
    KHShutdownServer();
    KHShutdownServer();
    EXPECT_EQ(KHSerialSendByte(0x41, 0), 1u) << "the serial link is untouched";
}

} // namespace
