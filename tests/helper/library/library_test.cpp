// The library's frame as a client finds it: exactly the 38 KH functions of
// the header exported, the renderer and the serial link started by loading,
// and the server exports that do nothing.
#include <gtest/gtest.h>

#include "helper/display/renderer.h"
#include "helper/serial/serial_link.h"
#include "tests/support/exported_names.h"
#include "korvane.h"
#include "tessock.h"

namespace {

TEST(Library, ExportsExactlyTheHeadersFunctionsAndStartsItsThreadAndLinkWhenLoaded)
{
    const std::set<std::string> declared = test::DeclaredNames(TESSOCK_HEADER_PATH, "KH_API ", "KH");
    EXPECT_EQ(declared.size(), 38u);
    EXPECT_EQ(test::ExportedNames(TESSOCK_LIBRARY_PATH), declared) << "nm -D " << TESSOCK_LIBRARY_PATH;

    ASSERT_NE(tessock::Renderer.RenderThread, nullptr);
    EXPECT_FALSE(tessock::Renderer.RenderThread->HasEnded());
    EXPECT_GE(KHSerialGetHandle(), 0);
    // The engine answers a registration with the channel.
    tessock::Link.SerialChannel.store(0);
    KVSetSerialHandler(&tessock::SerialEventHandler);
    EXPECT_EQ(tessock::Link.SerialChannel.load(), 1u);

    KHShutdownServer();
    for (uint32_t number : {0u, 4200u, 0xFFFFFFFFu})
        EXPECT_EQ(KHStartServer(number), 0u);
    KHShutdownServer();
    EXPECT_EQ(KHSerialSendByte(0x41, 0), 1u) << "the serial link is untouched";
}

} // namespace
