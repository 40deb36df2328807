#include "tests/ui/support/window.h"

#include <QDir>
#include <QFile>

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
