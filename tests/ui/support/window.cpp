#include "tests/ui/support/window.h"

#include <QDir>
#include <QFile>

#include "korvane.h"
#include "tests/rom/screen.h"
#include "ui/file_prompt.h"

namespace uitest {

bool LastDialogWasForLoading = false;
static QString Answer;

void AnswerFileDialogWith(const QString& path)
{
    Answer = path;
    pelrin::SetFileNamePrompt([](QWidget*, QString& name, bool load) {
        LastDialogWasForLoading = load;
        name = Answer;
        return !Answer.isEmpty();
    });
}

OpenWindow::OpenWindow(bool withFiles) : Previous(QDir::currentPath())
{
    const auto copy = [this](const char* from, const char* to) { return QFile::copy(from, Path(to)); };
    if (Dir.isValid() && (!withFiles || (copy(PELRIN_DEMO_ROM, "ROM.E49") && copy(PELRIN_SKIN_PATH, "HP49.BMP"))) &&
        QDir::setCurrent(Dir.path())) {
        // The machine as a new process finds it: stopped, from reset, no
        // key down. The libraries outlive a window (closing leaves the
        // engine running), and the ports the window creates would pull a
        // running ROM's memory away from under it.
        KVReset();
        for (int32_t key = 0; key < 81; ++key)
            KVReleaseKey(key % 9, key / 9);
        KVReleaseKey(9, 9); // ON
        Window = std::make_unique<pelrin::CSkinWnd>();
        Window->CreateSkinWindow();
    }
}

OpenWindow::~OpenWindow()
{
    Window.reset();
    QDir::setCurrent(Previous);
}

std::string OpenWindow::LcdLine(unsigned n) const
{
    // Each LCD dot is a 2 by 2 block of grey; dark below half.
    return test::ShownLine(
        [this](unsigned x, unsigned y) {
            return qGray(Window->Backing.pixel(pelrin::LcdX + 2 * int(x), pelrin::LcdY + 2 * int(y))) < 128;
        },
        n);
}

} // namespace uitest
