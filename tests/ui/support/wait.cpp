#include "tests/ui/support/wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

bool uitest::WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    QElapsedTimer clock;
    for (clock.start(); !condition() && clock.elapsed() < limit.count(); QThread::msleep(2))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}
