// A real X server for the window test: Xvfb on a display number it picks
// itself, the program started in a directory of its own, driven with
// xdotool and looked at through screenshots of the server's screen.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <optional>
#include <string>

namespace uitest {

// The full path of an executable found on PATH, or empty.
std::string FindOnPath(const char* name);

class XServer {
public:
    // Starts Xvfb with a 1024 x 768 screen; on failure Error() says why.
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Running() const { return Pid > 0; }
    const std::string& Error() const { return Problem; }
    // ":N"
    const std::string& Display() const { return Name; }

private:
    int Pid = -1;
    std::string Name;
    std::string Problem;
};

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// xdotool with the arguments, on the display in DISPLAY; its standard output.
std::optional<QString> Xdotool(const QStringList& arguments);

// The program, started in a fresh directory with the demonstration ROM and
// the generated skin, on the display in DISPLAY.
class Program {
public:
    Program();
    ~Program();

    bool Started() const { return Process.state() == QProcess::Running; }
    qint64 Pid() const { return Process.processId(); }
    // Waits for the program's window to be mapped; its X id, or empty.
    QString WaitForWindow(int milliseconds);
    std::optional<Geometry> WindowGeometry() const;
    bool WaitForExit(int milliseconds) { return Process.waitForFinished(milliseconds); }
    int ExitCode() const { return Process.exitCode(); }
    QProcess::ExitStatus ExitStatus() const { return Process.exitStatus(); }
    QString Output() { return QString::fromLocal8Bit(Process.readAllStandardError()); }
    // Milliseconds since the program was started.
    qint64 SinceStart() const { return Clock.elapsed(); }
    // Processor time each of the program's threads has used so far, user
    // and system, in ms, by thread id (the main thread's is the process id).
    std::map<qint64, double> ThreadProcessorMilliseconds() const;

    QString Window;

private:
    QTemporaryDir Dir;
    QProcess Process;
    QElapsedTimer Clock;
};

// The screen's pixels in the rectangle (screen coordinates).
QImage Screenshot(int x, int y, int width, int height);

} // namespace uitest
