// Carries the display library's LCD pictures into the window. The library
// draws through a KHWindow record, from its render thread or, inside
// KHRefreshDisplay, from the thread that asks for the refresh; widgets live
// on the GUI thread only. So a blit only converts the pixels into a picture
// of its own under a lock, and the GUI thread draws that picture into the
// window's backing image: at once when the blit came on the GUI thread,
// otherwise through one queued call, however many blits come meanwhile.
#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <functional>
#include <mutex>
#include <thread>

#include "tessock.h"

namespace pelrin {

class LcdBridge : public QObject {
    Q_OBJECT
public:
    // Made on the GUI thread, where pictureArrived runs; it must outlive
    // every blit (the window detaches the display before it goes).
    explicit LcdBridge(std::function<void()> pictureArrived);

    // The record to hand to KHSetDisplay.
    KHWindow* Window() { return &Record; }

    // Draws the latest picture into target (GUI thread); returns where it
    // went, empty when no picture came yet.
    QRect DrawInto(QImage& target);

    // What the library calls; public so that tests can drive the bridge as
    // the library does.
    static void Blit(void* context, const uint16_t* pixels, uint32_t pitch, int32_t x, int32_t y,
                     uint32_t width, uint32_t height);
    static void Post(void* context, uint32_t message, uintptr_t first, uintptr_t second);

private slots:
    // The queued delivery of a picture that came from another thread.
    void Deliver();

private:
    void Take(QImage picture, QPoint position);

    KHWindow Record;
    std::function<void()> PictureArrived;
    std::thread::id GuiThread;

    std::mutex Lock;
    QImage Picture;     // under Lock
    QPoint Position;    // under Lock
    bool Queued = false; // under Lock: a call to PictureArrived is on its way
};

} // namespace pelrin
