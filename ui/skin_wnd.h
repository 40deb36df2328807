// The calculator's face: a captionless window that starts the whole system
// when it is created, shows the skin with the live LCD, the key glow and the
// annunciators, turns mouse and PC keys into calculator keys, moves when
// dragged and offers the popup menu.
//
// Everything the window shows is drawn into Backing, the window's own
// picture; a paint event only presents it. So the glow brightens what is
// shown, a repaint of a key's rectangle (OnPaint) removes it, and the LCD
// arrives from the display library's thread without touching a widget there.
#pragma once

#include <QBasicTimer>
#include <QHash>
#include <QImage>
#include <QMenu>
#include <QPoint>
#include <QRegion>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/annunciators.h"
#include "ui/lcd_bridge.h"

namespace pelrin {

struct KeyRect;
class CConsoleDlg;
class SerialReaderThread;
class TransferWriter;

constexpr int SkinWidth = 347;
constexpr int SkinHeight = 740;
// The face and, below it, the row of annunciator sprites.
constexpr int SkinBitmapHeight = 751;
constexpr int LcdX = 42;
constexpr int LcdY = 77;
constexpr int LcdWidth = 131;
constexpr int LcdHeight = 64;
constexpr int LcdScale = 2;

class CSkinWnd : public QWidget {
    Q_OBJECT
public:
    CSkinWnd();
    ~CSkinWnd() override;

    // Creates the window: styles, title, place, then OnCreate, then shows it.
    void CreateSkinWindow();
    // The start-up sequence; 0 on success.
    int OnCreate();
    // The repaint of what InvalidateRect collected: the face, then the LCD.
    void OnPaint();
    void OnDestroy();

    void OnLButtonDown(QPoint point);
    void OnLButtonUp(QPoint point);
    void OnRButtonDown(QPoint point);
    void OnRButtonUp(QPoint point);
    void OnMouseMove(QPoint point);
    void OnContextMenu(QPoint screenPoint);
    // false: the key is not the calculator's, let it go on.
    bool OnKeyDown(uint32_t virtualKey, bool autoRepeat);
    bool OnKeyUp(uint32_t virtualKey);
    // true when the command was handled.
    bool OnCommand(uint32_t command, uintptr_t extra);
    void OnTimer();

    // A right click that did not become a drag.
    void PressKeyAt(QPoint point);
    void DrawKeyGlow(int cx, int cy, int r);
    void SnapToScreenEdges();
    // Schedules OnPaint for the rectangle; a paint removes what the face does
    // not hold there, such as a glow.
    void InvalidateRect(QRect rect);

    // The "&Object" commands: an object file sent over the serial link, or
    // placed on the calculator's stack or in port 1.
    void LoadObjectWithKermit();
    void LoadObjectWithXModem();
    void LoadObjectOnStack();
    void LoadObjectInPort1();
    // The "&State" commands: the whole machine to a file and back.
    void SaveStateFile();
    void LoadStateFile();

    // Where the bytes the calculator sends go: 0 console, 1 Kermit, 2 XModem.
    // Read by the serial reader thread, hence atomic.
    std::atomic<int32_t> TransferMode{0};
    QPoint DragOrigin;
    QMenu* PopupMenu = nullptr;
    QImage SkinBitmap;
    // What every copy from the skin reads: the bitmap, or a black one of the
    // skin's size when "HP49.BMP" could not be read.
    QImage SkinDC;
    bool DragArmed = false;
    bool Dragging = false;
    QImage Backing;
    LcdBridge Lcd;
    QBasicTimer Timer;
    AnnunciatorRow Annunciators;
    // Created hidden with the window; a child of it.
    CConsoleDlg* Console = nullptr;
    // The start-up files that could not be used, said once the window shows.
    QStringList StartFailures;
    // The file transfers' bytes on their way to the calculator; it outlives
    // the reader thread, from which the transfers send.
    std::unique_ptr<TransferWriter> Writer;
    std::unique_ptr<SerialReaderThread> ReaderThread;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void ArmDrag(QPoint point);
    // The release that ends a drag under way: the window snaps to the edges.
    void FinishDrag();
    void PressKey(const KeyRect& key);
    void ReleaseKey(const KeyRect& key);
    void GlowOn(const KeyRect& key);
    void LcdPictureArrived();
    // The file dialog, then the file: its path and bytes, or nothing when
    // no file was chosen or it could not be read in full.
    std::optional<std::pair<std::string, std::vector<uint8_t>>> ChooseObjectFile();
    // Places the object of the file with the engine stopped meanwhile.
    void PlaceObject(bool inPort1);
    void ObjectRefused(const QString& name, const std::string& why);
    void StateNotSaved(const QString& name, const std::string& why);
    static QRect KeyArea(const KeyRect& key);

    QRegion Dirty;
    bool PaintQueued = false;
    bool Destroyed = false;
    // The code each held PC key pressed, by its scan code, so that its
    // release reaches the same calculator key even when what the key means
    // changed meanwhile (Shift turns "1" into "!" where the keyboard map is
    // not known; another layout may be chosen while it is down).
    QHash<quint32, uint32_t> HeldKeys;
    // The key or window button the left button went down on, until it goes up.
    const KeyRect* LeftButtonKey = nullptr;
};

} // namespace pelrin
