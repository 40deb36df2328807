#include "tests/ui/support/open_window.h"

#include "korvane.h"
#include "tests/rom/screen.h"
#include "ui/file_prompt.h"

namespace uitest {

namespace {
std::mutex KeyLock;
std::vector<KeyEvent> Keys;
QString Answer;

bool AnswerDialog(QWidget*, QString& name, bool load)
{
    LastDialogWasForLoading = load;
    if (Answer.isEmpty())
        return false;
    name = Answer;
    return true;
}
} // namespace

bool LastDialogWasForLoading = false;

void AnswerFileDialogWith(const QString& path)
{
    Answer = path;
    pelrin::SetFileNamePrompt(&AnswerDialog);
}

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

std::string OpenWindow::LcdLine(unsigned n) const
{
    // Each LCD dot is a 2 by 2 block of grey at (42, 77); dark below half.
    const QImage& picture = Window->Backing;
    return test::ShownLine(
        [&picture](unsigned x, unsigned y) {
            return qGray(picture.pixel(pelrin::LcdX + pelrin::LcdScale * static_cast<int>(x),
                                       pelrin::LcdY + pelrin::LcdScale * static_cast<int>(y))) < 128;
        },
        n);
}

bool OpenWindow::WaitForLcdLine(unsigned n, const std::string& text, std::chrono::milliseconds limit)
{
    return WaitFor([&] { return LcdLine(n) == text; }, limit);
}

} // namespace uitest
