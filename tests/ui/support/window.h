// The program's window on the real libraries, opened in a fresh working
// directory (made current) with the demonstration ROM and the generated
// skin, and answers to its file dialog.
#pragma once

#include <QTemporaryDir>
#include <memory>
#include <string>

#include "tests/ui/support/wait.h"
#include "ui/skin_wnd.h"

namespace uitest {

// From now on every file dialog chooses path at once (an empty one cancels)
// and notes whether it was one for loading.
void AnswerFileDialogWith(const QString& path);
extern bool LastDialogWasForLoading;

class OpenWindow {
public:
    // withFiles false: a working directory without ROM and skin.
    explicit OpenWindow(bool withFiles = true);
    ~OpenWindow();
    bool ready() const { return Window != nullptr; }
    pelrin::CSkinWnd* operator->() const { return Window.get(); }
    pelrin::CSkinWnd& operator*() const { return *Window; }
    bool ShowsFace(QRect area) const { return Window->Backing.copy(area) == Window->SkinDC.copy(area); }
    // Text line n of the demonstration ROM's screen as the window shows it.
    std::string LcdLine(unsigned n) const;
    bool WaitForLcdLine(unsigned n, const std::string& text, std::chrono::milliseconds limit = 5s)
    {
        return WaitFor([&] { return LcdLine(n) == text; }, limit);
    }
    QString Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }

private:
    QString Previous;
    QTemporaryDir Dir;
    std::unique_ptr<pelrin::CSkinWnd> Window;
};

} // namespace uitest
