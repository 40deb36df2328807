// The library's frame: the two server exports that do nothing.
#include <gtest/gtest.h>

#include "tessock.h"

namespace {

TEST(Library, TheServerExportsDoNothingHoweverOftenTheyAreCalled)
{
    KHShutdownServer();
    for (uint32_t number : {0u, 4200u, 0xFFFFFFFFu})
        EXPECT_EQ(KHStartServer(number), 0u);
    KHShutdownServer();
    KHShutdownServer();
}

} // namespace
