#include "tests/ui/support/work_dir.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace uitest {

WorkDir::WorkDir(Contents contents) : Previous(QDir::currentPath())
{
    if (!Dir.isValid())
        return;
    bool copied = true;
    if (contents == RomAndSkin)
        copied = QFile::copy(QStringLiteral(PELRIN_DEMO_ROM), Dir.filePath(QStringLiteral("ROM.E49")));
    if (contents != Nothing)
        copied = QFile::copy(QStringLiteral(PELRIN_SKIN_PATH), Dir.filePath(QStringLiteral("HP49.BMP"))) && copied;
    Ready = copied && QDir::setCurrent(Dir.path());
}

WorkDir::~WorkDir()
{
    QDir::setCurrent(Previous);
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() >= limit.count())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void Pump(std::chrono::milliseconds time)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < time.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

} // namespace uitest
