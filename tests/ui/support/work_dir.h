// A working directory of its own for a test that starts the program's
// window: a fresh temporary directory with the demonstration ROM and the
// generated skin (either may be left out), made current until it goes.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <functional>

namespace uitest {

class WorkDir {
public:
    enum Contents { RomAndSkin, SkinOnly, Nothing };
    explicit WorkDir(Contents contents = RomAndSkin);
    ~WorkDir();
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;

    QString path() const { return Dir.path(); }
    bool ready() const { return Ready; }

private:
    QTemporaryDir Dir;
    QString Previous;
    bool Ready = false;
};

// Runs the event loop until the condition holds or the time is up; the
// condition's last value.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit);
// Runs the event loop for the time given.
void Pump(std::chrono::milliseconds time);

} // namespace uitest
