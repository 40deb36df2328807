#include "ui/console_text.h"

#include <algorithm>

namespace pelrin {

void ReceivedTextBuffer::Add(uint8_t byte)
{
    const bool afterCr = AfterCr;
    AfterCr = byte == '\r';
    if (byte == 0) {
        AfterCr = afterCr;
        return;
    }
    if (byte == '\n' && afterCr)
        return;
    Pending.push_back(byte == '\r' ? '\n' : static_cast<char>(byte));
}

std::string ReceivedTextBuffer::Take()
{
    std::string text;
    text.swap(Pending);
    return text;
}

std::chrono::nanoseconds FlushDelay(std::chrono::nanoseconds lastCost)
{
    return std::max<std::chrono::nanoseconds>(ShortestFlushDelay, 3 * lastCost);
}

} // namespace pelrin
