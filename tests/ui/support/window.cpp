#include "tests/ui/support/window.h"

#include <QDir>
#include <QFile>
#include <poll.h>
#include <unistd.h>

#include "korvane.h"
#include "tessock.h"

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
    // The window starts the machine as a new process would find it: the
    // processor from its reset, no key held, and nothing in the serial pipe
    // that the calculator sent after an earlier window had closed.
    KVReset();
    for (int32_t column = 0; column < 9; ++column)
        for (int32_t row = 0; row < 9; ++row)
            KVReleaseKey(column, row);
    KVReleaseKey(9, 9); // ON
    pollfd waiting{KHSerialGetHandle(), POLLIN, 0};
    for (uint8_t bytes[4096]; poll(&waiting, 1, 0) > 0 && read(waiting.fd, bytes, sizeof bytes) > 0;) {
    }
    const auto copy = [this](const char* from, const char* to) { return QFile::copy(from, Path(to)); };
    if (Dir.isValid() && (!withFiles || (copy(PELRIN_DEMO_ROM, "ROM.E49") && copy(PELRIN_SKIN_PATH, "HP49.BMP"))) &&
        QDir::setCurrent(Dir.path())) {
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
