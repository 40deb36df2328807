// Pelrin: the HP 49G on the desktop. No command line, no settings: the ROM
// and the skin are read from the working directory.
#include <QApplication>

#include "ui/emulator_app.h"

namespace pelrin {
CEmulatorApp theApp;
}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (!pelrin::theApp.InitInstance())
        return 1;
    const int result = application.exec();
    pelrin::theApp.ExitInstance();
    return result;
}
