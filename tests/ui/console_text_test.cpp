// The console's received text: which bytes become which text, and how long
// the text box gathers before it takes more.
#include <gtest/gtest.h>

#include "ui/console_text.h"

using namespace std::chrono_literals;

namespace pelrin {
namespace {

TEST(ReceivedText, Latin1TextWithoutZeroBytesAndOneLineEndForCrLfOrTheirPairEvenAcrossTakes)
{
    ReceivedTextBuffer buffer;
    for (uint8_t byte : std::initializer_list<uint8_t>{'a', 0x00, 0xE9, '\r', 0x00, '\n', 'b', '\n', '\r', 'c', '\r'})
        buffer.Add(byte);
    EXPECT_EQ(buffer.Take(), "a\xE9\nb\n\nc\n");
    EXPECT_TRUE(buffer.Empty());
    buffer.Add('\n'); // the LF of the pair whose CR was taken
    buffer.Add(0x00);
    EXPECT_TRUE(buffer.Empty());
}

TEST(ReceivedText, TheBoxGathersThreeTimesWhatItsLastTakeCostAndNeverLessThanTenMs)
{
    EXPECT_EQ(FlushDelay(0ns), 10ms);
    EXPECT_EQ(FlushDelay(4ms), 12ms);
    EXPECT_EQ(FlushDelay(50ms), 150ms);
}

} // namespace
} // namespace pelrin
