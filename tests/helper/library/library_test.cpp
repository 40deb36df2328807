// The library's frame as a client finds it. (The load cycles see the render thread draw.)
#include <gtest/gtest.h>

#include "helper/serial/serial_link.h"
#include "tests/support/exported_names.h"
#include "korvane.h"
#include "tessock.h"

namespace {

TEST(Library, ExportsExactlyTheHeadersFunctionsAndTheServerCallsDoNothing)
{
    const std::set<std::string> declared = test::DeclaredNames(TESSOCK_HEADER_PATH, "KH_API ", "KH");
    EXPECT_EQ(declared.size(), 38u);
    EXPECT_EQ(test::ExportedNames(TESSOCK_LIBRARY_PATH), declared) << "nm -D " << TESSOCK_LIBRARY_PATH;
    EXPECT_GE(KHSerialGetHandle(), 0);
    tessock::Link.SerialChannel.store(0); // the engine answers a registration with the channel
    KVSetSerialHandler(&tessock::SerialEventHandler);
    EXPECT_EQ(tessock::Link.SerialChannel.load(), 1u);
    KHShutdownServer();
    for (uint32_t number : {0u, 4200u, 0xFFFFFFFFu})
        EXPECT_EQ(KHStartServer(number), 0u);
    KHShutdownServer();
    EXPECT_EQ(KHSerialSendByte(0x41, 0), 1u) << "the serial link is untouched";
}

} // namespace
