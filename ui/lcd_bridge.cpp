#include "ui/lcd_bridge.h"

#include <QPainter>

namespace pelrin {

LcdBridge::LcdBridge(std::function<void()> pictureArrived)
    : Record{this, &LcdBridge::Blit, &LcdBridge::Post}, PictureArrived(std::move(pictureArrived)), GuiThread(std::this_thread::get_id())
{
}

void LcdBridge::Blit(void* context, const uint16_t* pixels, uint32_t pitch, int32_t x, int32_t y, uint32_t width,
                     uint32_t height)
{
    auto* bridge = static_cast<LcdBridge*>(context);
    // The window is far smaller than this; a larger picture is no blit of ours.
    constexpr uint32_t Largest = 4096;
    if (!bridge || !pixels || width == 0 || height == 0 || width > Largest || height > Largest || pitch < width)
        return;
    // The library's RGB555 is Qt's: blue in bits 0 to 4, green 5 to 9, red 10 to 14.
    const QImage view(reinterpret_cast<const uchar*>(pixels), static_cast<int>(width), static_cast<int>(height),
                      static_cast<qsizetype>(pitch) * 2, QImage::Format_RGB555);
    bridge->Take(view.convertToFormat(QImage::Format_RGB32), QPoint(x, y));
}

void LcdBridge::Post(void*, uint32_t, uintptr_t, uintptr_t)
{
    // Only breakpoint actions post, and the program sets none.
}

void LcdBridge::Take(QImage picture, QPoint position)
{
    bool queue = false;
    {
        std::lock_guard<std::mutex> hold(Lock);
        Picture.swap(picture);
        Position = position;
        if (std::this_thread::get_id() != GuiThread && !Queued)
            queue = Queued = true;
    }
    // The old picture is freed here, outside the lock.
    if (std::this_thread::get_id() == GuiThread) {
        PictureArrived();
    } else if (queue) {
        // By name, not with a functor: the queued call is then made entirely
        // inside Qt, and nothing of ours crosses to the GUI thread except
        // under Lock (which the thread sanitizer can see, unlike Qt's own).
        QMetaObject::invokeMethod(this, "Deliver", Qt::QueuedConnection);
    }
}

void LcdBridge::Deliver()
{
    {
        std::lock_guard<std::mutex> hold(Lock);
        Queued = false;
    }
    PictureArrived();
}

QRect LcdBridge::DrawInto(QImage& target)
{
    std::lock_guard<std::mutex> hold(Lock);
    if (Picture.isNull())
        return QRect();
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(Position, Picture);
    return QRect(Position, Picture.size());
}

} // namespace pelrin
