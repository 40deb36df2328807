// The console's received text: which bytes become which text, and how long
// the text box is left to gather before it takes more.
#include <gtest/gtest.h>

#include "ui/console_text.h"

using namespace std::chrono_literals;

namespace pelrin {
namespace {

std::string Through(std::initializer_list<uint8_t> bytes)
{
    ReceivedTextBuffer buffer;
    for (uint8_t byte : bytes)
        buffer.Add(byte);
    return buffer.Take();
}

TEST(ReceivedText, BytesAreLatin1AndAZeroByteAddsNothing)
{
    EXPECT_EQ(Through({0x41, 0x00, 0x42, 0xE9, 0x7F, 0x09}), "AB\xE9\x7F\t");
    EXPECT_EQ(Through({0x00}), "");
}

TEST(ReceivedText, CrLfAndTheirPairEachEndOneLine)
{
    EXPECT_EQ(Through({'a', '\r', '\n', 'b', '\r', 'c', '\n', 'd'}), "a\nb\nc\nd");
    EXPECT_EQ(Through({'\n', '\r', '\r', '\n', '\n'}), "\n\n\n\n");
    // A zero byte between the two does not part them.
    EXPECT_EQ(Through({'\r', 0x00, '\n', 'x'}), "\nx");
}

TEST(ReceivedText, TakingEmptiesTheBufferAndAPairMaySpanTwoTakes)
{
    ReceivedTextBuffer buffer;
    EXPECT_TRUE(buffer.Empty());
    buffer.Add('a');
    buffer.Add('\r');
    EXPECT_FALSE(buffer.Empty());
    EXPECT_EQ(buffer.Take(), "a\n");
    EXPECT_TRUE(buffer.Empty());
    buffer.Add('\n'); // the LF of the pair whose CR was taken
    EXPECT_TRUE(buffer.Empty());
    buffer.Add('\n');
    EXPECT_EQ(buffer.Take(), "\n");
}

TEST(ReceivedText, TheBoxGathersThreeTimesWhatItsLastTakeCostAndNeverLessThanTenMs)
{
    EXPECT_EQ(FlushDelay(0ns), 10ms);
    EXPECT_EQ(FlushDelay(3ms), 10ms);
    EXPECT_EQ(FlushDelay(4ms), 12ms);
    EXPECT_EQ(FlushDelay(50ms), 150ms);
}

} // namespace
} // namespace pelrin
