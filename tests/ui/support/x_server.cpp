#include "tests/ui/support/x_server.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace uitest {

std::string FindOnPath(const char* name)
{
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t end = rest.find(':', start);
        const std::string dir = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

XServer::XServer()
{
    const std::string xvfb = FindOnPath("Xvfb");
    if (xvfb.empty()) {
        Problem = "Xvfb is not installed (tools/install-deps.sh installs it)";
        return;
    }
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        Problem = "no pipe";
        return;
    }
    // Xvfb picks a free display number and writes it to the descriptor.
    const std::string fd = std::to_string(pipeFds[1]);
    const char* argv[] = {xvfb.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                          "-nolisten", "tcp", "-noreset", nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, xvfb.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        Problem = "Xvfb did not start";
        return;
    }
    Pid = pid;
    std::string number;
    pollfd wait{pipeFds[0], POLLIN, 0};
    while (poll(&wait, 1, 10000) > 0) {
        char c;
        if (read(pipeFds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(pipeFds[0]);
    if (number.empty()) {
        Problem = "Xvfb gave no display number";
        return;
    }
    Name = ":" + number;
}

XServer::~XServer()
{
    if (Pid > 0) {
        kill(Pid, SIGTERM);
        int status = 0;
        waitpid(Pid, &status, 0);
    }
}

std::optional<QString> Xdotool(const QStringList& arguments)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), arguments);
    if (!xdotool.waitForFinished(10000) || xdotool.exitStatus() != QProcess::NormalExit || xdotool.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(xdotool.readAllStandardOutput()).trimmed();
}

Program::Program()
{
    if (!Dir.isValid())
        return;
    if (!QFile::copy(QStringLiteral(PELRIN_DEMO_ROM), Dir.filePath(QStringLiteral("ROM.E49"))) ||
        !QFile::copy(QStringLiteral(PELRIN_SKIN_PATH), Dir.filePath(QStringLiteral("HP49.BMP"))))
        return;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    Process.setProcessEnvironment(environment);
    Process.setWorkingDirectory(Dir.path());
    Clock.start();
    Process.start(QStringLiteral(PELRIN_PROGRAM), QStringList());
    Process.waitForStarted(5000);
}

Program::~Program()
{
    if (Process.state() != QProcess::NotRunning) {
        Process.terminate();
        if (!Process.waitForFinished(3000)) {
            Process.kill();
            Process.waitForFinished(3000);
        }
    }
}

QString Program::WaitForWindow(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    do {
        const auto found = Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                    QStringLiteral("--name"), QStringLiteral("^Korvane User Interface$")});
        if (found && !found->isEmpty()) {
            Window = found->split(QLatin1Char('\n')).first();
            return Window;
        }
        QThread::msleep(10);
    } while (clock.elapsed() < milliseconds);
    return QString();
}

std::optional<Geometry> Program::WindowGeometry() const
{
    const auto shell = Xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), Window});
    if (!shell)
        return std::nullopt;
    Geometry g;
    for (const QString& line : shell->split(QLatin1Char('\n'))) {
        const QStringList pair = line.split(QLatin1Char('='));
        if (pair.size() != 2)
            continue;
        const int value = pair[1].toInt();
        if (pair[0] == QLatin1String("X"))
            g.x = value;
        else if (pair[0] == QLatin1String("Y"))
            g.y = value;
        else if (pair[0] == QLatin1String("WIDTH"))
            g.width = value;
        else if (pair[0] == QLatin1String("HEIGHT"))
            g.height = value;
    }
    return g;
}

std::map<qint64, double> Program::ThreadProcessorMilliseconds() const
{
    std::map<qint64, double> threads;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(Process.processId());
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + QLatin1Char('/') + tid + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // The fields after the command's name (in parentheses, which may
        // hold blanks): utime and stime are the 12th and 13th of them.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13)
            continue;
        const double ticks = fields[11].toDouble() + fields[12].toDouble();
        threads[tid.toLongLong()] = ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    return threads;
}

QImage Screenshot(int x, int y, int width, int height)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QImage();
    return screen->grabWindow(0, x, y, width, height).toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace uitest
