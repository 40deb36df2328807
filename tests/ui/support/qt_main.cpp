// The Qt tests' main: an application object on the offscreen platform
// (unless the environment chose one), then the tests.
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include "tests/ui/support/wait.h"

bool uitest::WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    QElapsedTimer clock;
    for (clock.start(); !condition() && clock.elapsed() < limit.count(); QThread::msleep(2))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
