#include "ui/emulator_app.h"

#include <QApplication>

#include "ui/skin/skin_painter.h"
#include "ui/skin_wnd.h"

namespace pelrin {

CEmulatorApp::CEmulatorApp() = default;

CEmulatorApp::~CEmulatorApp() = default;

bool CEmulatorApp::InitInstance()
{
    // Every window of the program, the About box among them, carries it.
    QApplication::setWindowIcon(PelrinIcon());
    m_pMainWnd = std::make_unique<CSkinWnd>();
    m_pMainWnd->CreateSkinWindow();
    return true;
}

int CEmulatorApp::ExitInstance()
{
    m_pMainWnd.reset();
    return 0;
}

} // namespace pelrin
