#include "platform/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// The Thread object whose procedure runs on this thread: set by the thread
// itself, so no other thread's write races with the test.
thread_local const Thread* CurrentThread = nullptr;

} // namespace

Thread::~Thread()
{
    if (Started && !Reaped) {
        if (Ended.IsSet())
            pthread_join(Handle, nullptr);
        else
            pthread_detach(Handle);
    }
}

void* Thread::Trampoline(void* self)
{
    auto* thread = static_cast<Thread*>(self);
    CurrentThread = thread;
    thread->SystemId.store(static_cast<int>(syscall(SYS_gettid)), std::memory_order_release);
    uint32_t code = thread->Proc();
    thread->Code.store(code, std::memory_order_release);
    thread->Ended.Set();
    return nullptr;
}

bool Thread::Start(std::function<uint32_t()> proc)
{
    if (Started)
        return false;
    Proc = std::move(proc);
    if (pthread_create(&Handle, nullptr, &Trampoline, this) != 0)
        return false;
    Started = true;
    return true;
}

void Thread::LowerPriority()
{
    // The thread's system id is known once it runs; spin briefly for it.
    int id = 0;
    for (int tries = 0; tries < 1000 && (id = SystemId.load(std::memory_order_acquire)) == 0; ++tries)
        sched_yield();
    if (id == 0)
        return;
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(id));
    if (errno == 0)
        setpriority(PRIO_PROCESS, static_cast<id_t>(id), nice + 1);
}

bool Thread::IsCurrent() const
{
    return CurrentThread == this;
}

bool Thread::Join(uint32_t timeoutMs)
{
    if (!Started)
        return true;
    if (Reaped)
        return true;
    if (WaitForEvent(Ended, timeoutMs) == WaitTimedOut)
        return false;
    pthread_join(Handle, nullptr);
    Reaped = true;
    return true;
}

void Thread::Terminate(uint32_t exitCode)
{
    if (!Started || Reaped)
        return;
    pthread_cancel(Handle);
    pthread_detach(Handle);
    Reaped = true;
    Code.store(exitCode, std::memory_order_release);
    Ended.Set();
}

} // namespace platform
