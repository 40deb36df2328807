// The console's received text as it grows. Each byte from the calculator is
// appended after whatever the text box shows; appending them one by one
// would lay the box's text out again per byte, so the bytes are gathered
// here and the box takes them in one piece a little later. The cost of
// each byte is then constant, and the box is given time to lay out in
// proportion to what its last take cost, so a calculator that sends without
// pause never holds the window.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace pelrin {

class ReceivedTextBuffer {
public:
    // One byte from the calculator. A zero byte adds nothing (the received
    // text is a zero-terminated string); CR, LF and the pair CR LF each end
    // a line. Any other byte is the Latin-1 character of that code.
    void Add(uint8_t byte);
    bool Empty() const { return Pending.empty(); }
    // The text gathered since the last take, in Latin-1 with '\n' ending
    // each line; the buffer is empty afterwards.
    std::string Take();

private:
    std::string Pending;
    // The last byte was CR: an LF right after it ends no second line.
    bool AfterCr = false;
};

// The shortest wait before the box takes in gathered text: it shows the
// calculator's echo without a noticeable delay.
constexpr std::chrono::milliseconds ShortestFlushDelay{10};

// How long to gather before the next take, when the last take kept the
// window busy for lastCost: three times that, so that laying out the text
// takes at most a quarter of the window's time, and never less than the
// shortest wait.
std::chrono::nanoseconds FlushDelay(std::chrono::nanoseconds lastCost);

} // namespace pelrin
