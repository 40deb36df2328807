// The program's window as the program opens it, on the real libraries, in a
// working directory of its own; and the engine's record of key presses.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "tests/ui/support/work_dir.h"
#include "ui/skin_wnd.h"

namespace uitest {

struct KeyEvent {
    int32_t column;
    int32_t row;
    uint32_t down;
    bool operator==(const KeyEvent&) const = default;
};

// Every press and release that reaches the engine, from its keyboard handler.
class KeyLog {
public:
    KeyLog();
    ~KeyLog();
    std::vector<KeyEvent> Take();

private:
    static void Handler(int32_t column, int32_t row, uint32_t down);
};

class OpenWindow {
public:
    explicit OpenWindow(WorkDir::Contents contents = WorkDir::RomAndSkin);
    ~OpenWindow();

    pelrin::CSkinWnd* operator->() const { return Window.get(); }
    pelrin::CSkinWnd& operator*() const { return *Window; }
    bool ready() const { return Dir.ready() && Window; }
    // Whether the window shows the skin's face, unchanged, over the rectangle.
    bool ShowsFace(QRect area) const;

    WorkDir Dir;
    std::unique_ptr<pelrin::CSkinWnd> Window;
};

} // namespace uitest
