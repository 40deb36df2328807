// The application: it creates the skin window, whose creation starts
// everything else, and lets Qt's event loop run.
#pragma once

#include <memory>

namespace pelrin {

class CSkinWnd;

class CEmulatorApp {
public:
    CEmulatorApp();
    virtual ~CEmulatorApp();

    // Creates the skin window as the main window; true, so that the event
    // loop runs. Call it once a QApplication exists.
    virtual bool InitInstance();
    // Destroys the main window while the QApplication still exists.
    virtual int ExitInstance();

    CSkinWnd* MainWindow() const { return m_pMainWnd.get(); }

private:
    std::unique_ptr<CSkinWnd> m_pMainWnd;
};

extern CEmulatorApp theApp;

} // namespace pelrin
