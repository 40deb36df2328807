// The calculator's keys under the mouse and the PC keyboard.
#include <QKeyEvent>
#include <QPainter>
#include <utility>

#include "korvane.h"
#include "ui/key_glow.h"
#include "ui/key_table.h"
#include "ui/key_translate.h"
#include "ui/skin_wnd.h"

namespace pelrin {

QRect CSkinWnd::KeyArea(const KeyRect& key)
{
    return QRect(QPoint(key.left, key.top), QPoint(key.right - 1, key.bottom - 1));
}

void CSkinWnd::PressKey(const KeyRect& key)
{
    KVPressKey(key.columnCode, key.rowCode);
}

void CSkinWnd::ReleaseKey(const KeyRect& key)
{
    KVReleaseKey(key.columnCode, key.rowCode);
}

void CSkinWnd::DrawKeyGlow(int cx, int cy, int r)
{
    pelrin::DrawKeyGlow(Backing, cx, cy, r);
    update(QRect(cx - r, cy - r - 1, 2 * r + 1, 2 * r + 2));
}

void CSkinWnd::GlowOn(const KeyRect& key)
{
    DrawKeyGlow((key.left + key.right) / 2, (key.top + key.bottom) / 2, key.radius);
}

void CSkinWnd::OnLButtonDown(QPoint point)
{
    const KeyRect* key = FindKeyAt(point.x(), point.y());
    if (!key) {
        ArmDrag(point);
        return;
    }
    GlowOn(*key);
    LeftButtonKey = key;
    // A window button acts on its release.
    if (key->rowCode != WindowButtonRow)
        PressKey(*key);
}

void CSkinWnd::OnLButtonUp(QPoint point)
{
    releaseMouse();
    if (Dragging) {
        FinishDrag();
        return;
    }
    if (DragArmed) {
        DragArmed = false;
        return;
    }
    // The release belongs to the press, wherever the pointer went meanwhile:
    // a key released over another key or outside every key would otherwise
    // stay down. A window button acts only when let go over itself, so a
    // press on it can still be taken back.
    const KeyRect* key = std::exchange(LeftButtonKey, nullptr);
    if (!key)
        return;
    if (key->rowCode != WindowButtonRow)
        ReleaseKey(*key);
    else if (key->contains(point.x(), point.y()))
        OnCommand(static_cast<uint32_t>(key->columnCode), 0);
    InvalidateRect(KeyArea(*key));
}

void CSkinWnd::PressKeyAt(QPoint point)
{
    const KeyRect* key = FindKeyAt(point.x(), point.y());
    if (!key) {
        OnContextMenu(point + pos());
        return;
    }
    GlowOn(*key);
    // The key stays down: a right click latches it until a release reaches it.
    if (key->rowCode == WindowButtonRow)
        OnCommand(static_cast<uint32_t>(key->columnCode), 0);
    else
        PressKey(*key);
    InvalidateRect(KeyArea(*key));
}

bool CSkinWnd::OnKeyDown(uint32_t virtualKey, bool autoRepeat)
{
    if (autoRepeat)
        return false;
    const KeyRect* key = FindKeyByCode(virtualKey);
    if (!key)
        return false;
    PressKey(*key);
    return true;
}

bool CSkinWnd::OnKeyUp(uint32_t virtualKey)
{
    const KeyRect* key = FindKeyByCode(virtualKey);
    if (!key)
        return false;
    ReleaseKey(*key);
    return true;
}

void CSkinWnd::keyPressEvent(QKeyEvent* event)
{
    const uint32_t code = TranslateKey(event->key(), event->modifiers(), PhysicalKeyCharacters(*event));
    if (!event->isAutoRepeat() && event->nativeScanCode() != 0)
        HeldKeys.insert(event->nativeScanCode(), code);
    if (!OnKeyDown(code, event->isAutoRepeat()))
        QWidget::keyPressEvent(event);
}

void CSkinWnd::keyReleaseEvent(QKeyEvent* event)
{
    // A held key repeats with pairs of release and press here; the repeats
    // are presses of a key that is still down, not releases.
    if (event->isAutoRepeat())
        return;
    uint32_t code = TranslateKey(event->key(), event->modifiers(), PhysicalKeyCharacters(*event));
    const auto held = HeldKeys.constFind(event->nativeScanCode());
    if (held != HeldKeys.constEnd()) {
        code = held.value();
        HeldKeys.erase(held);
    }
    if (!OnKeyUp(code))
        QWidget::keyReleaseEvent(event);
}

} // namespace pelrin
