#include "tests/ui/support/open_window.h"

#include "korvane.h"

namespace uitest {

namespace {
std::mutex KeyLock;
std::vector<KeyEvent> Keys;
} // namespace

KeyLog::KeyLog()
{
    Take();
    KVSetKeyboardHandler(&KeyLog::Handler);
}

KeyLog::~KeyLog()
{
    KVSetKeyboardHandler(nullptr);
}

void KeyLog::Handler(int32_t column, int32_t row, uint32_t down)
{
    std::lock_guard<std::mutex> hold(KeyLock);
    Keys.push_back(KeyEvent{column, row, down});
}

std::vector<KeyEvent> KeyLog::Take()
{
    std::lock_guard<std::mutex> hold(KeyLock);
    return std::exchange(Keys, {});
}

OpenWindow::OpenWindow(WorkDir::Contents contents) : Dir(contents)
{
    if (!Dir.ready())
        return;
    Window = std::make_unique<pelrin::CSkinWnd>();
    Window->CreateSkinWindow();
}

OpenWindow::~OpenWindow()
{
    Window.reset();
}

bool OpenWindow::ShowsFace(QRect area) const
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (Window->Backing.pixel(x, y) != Window->SkinDC.pixel(x, y))
                return false;
    return true;
}

} // namespace uitest
