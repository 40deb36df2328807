#include "ui/skin_wnd.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>

#include "korvane.h"
#include "tessock.h"
#include "ui/console_dlg.h"
#include "ui/failure_box.h"
#include "ui/file_io.h"
#include "ui/popup_menu.h"
#include "ui/serial_reader.h"
#include "ui/transfer_writer.h"
#include "ui/window_drag.h"

namespace pelrin {

namespace {

constexpr char RomRefusal[] = "It is no ROM image: a raw image of 0x100000 or 0x400000 bytes, or a packed one.";
constexpr char SkinRefusal[] = "It is no picture that can be read.";

// Why a start-up file that opens was not used, or why it does not open.
QString WhyRefused(const char* name, const char* refusal)
{
    const std::string unreadable = WhyUnreadable(name);
    return QString::fromStdString(unreadable.empty() ? refusal : unreadable);
}

} // namespace

CSkinWnd::CSkinWnd()
    : Backing(SkinWidth, SkinHeight, QImage::Format_RGB32), Lcd([this] { LcdPictureArrived(); })
{
    Backing.fill(Qt::black);
}

CSkinWnd::~CSkinWnd()
{
    OnDestroy();
}

void CSkinWnd::CreateSkinWindow()
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Korvane User Interface"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setGeometry(0, 0, SkinWidth, SkinHeight);
    setFixedSize(SkinWidth, SkinHeight);
    if (OnCreate() != 0)
        return;
    // Shown only now, after the start-up wait, as a visible window is shown
    // when its creation completes.
    show();
    if (!StartFailures.isEmpty())
        SayStartFailures(this, StartFailures);
}

int CSkinWnd::OnCreate()
{
    // The native window; its creation cannot fail here.
    create();
    setCursor(Qt::ArrowCursor);
    KVConfigure(2, 1);
    if (!KHLoadRom("ROM.E49"))
        StartFailures << NoteStartFileFailure(QStringLiteral("ROM.E49"), WhyRefused("ROM.E49", RomRefusal));
    KHCreatePort0(0x80000);
    KHCreatePort1(0x40000);
    KHCreatePort2(0x40000);

    SkinBitmap = QImage(QStringLiteral("HP49.BMP"));
    if (SkinBitmap.isNull()) {
        StartFailures << NoteStartFileFailure(QStringLiteral("HP49.BMP"), WhyRefused("HP49.BMP", SkinRefusal));
        SkinDC = QImage(SkinWidth, SkinBitmapHeight, QImage::Format_RGB32);
        SkinDC.fill(Qt::black);
    } else {
        SkinDC = SkinBitmap.convertToFormat(QImage::Format_RGB32);
    }
    {
        QPainter painter(&Backing);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), SkinDC, QRect(0, 0, SkinWidth, SkinHeight));
    }

    PopupMenu = BuildPopupMenu(this);
    KHSetDisplay(Lcd.Window(), LcdX, LcdY, LcdWidth, LcdHeight, LcdScale);
    // The console exists before the thread that feeds it, and the thread
    // starts with every byte going to the console.
    Console = new CConsoleDlg(this);
    Writer = std::make_unique<TransferWriter>();
    TransferMode = 0;
    ReaderThread = std::make_unique<SerialReaderThread>(KHSerialGetHandle(), TransferMode,
                                                        [console = Console](uint8_t byte) {
                                                            console->PostReceivedByte(byte);
                                                        });
    KHStartServer(4200);
    Timer.start(100, this);
    KVRun();
    // The machine gets a second to come up before the face appears.
    QThread::msleep(1000);
    return 0;
}

void CSkinWnd::OnDestroy()
{
    if (Destroyed)
        return;
    Destroyed = true;
    Timer.stop();
    KHShutdownServer();
    // Closing ends any transfer under way. The reader thread, which routes
    // bytes to the console and answers the receivers, ends first, and with
    // it every new packet; then what is left to send is dropped, and an
    // XModem transfer lets its buffer go. A Kermit transfer, which nothing
    // answers any more, sends nothing more either.
    ReaderThread.reset();
    Writer.reset();
    KHXModemSendFile(nullptr, nullptr, 0);
    // The display library would go on drawing into this window from its
    // render thread until the process ends; once this returns it no longer
    // does, so the window may go.
    KHSetDisplay(nullptr, 0, 0, 0, 0, 0);
}

void CSkinWnd::InvalidateRect(QRect rect)
{
    Dirty += rect;
    if (PaintQueued)
        return;
    PaintQueued = true;
    QMetaObject::invokeMethod(this, [this] { OnPaint(); }, Qt::QueuedConnection);
}

void CSkinWnd::OnPaint()
{
    PaintQueued = false;
    const QRegion region = Dirty;
    Dirty = QRegion();
    {
        QPainter painter(&Backing);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setClipRegion(region);
        painter.drawImage(QPoint(0, 0), SkinDC, QRect(0, 0, SkinWidth, SkinHeight));
    }
    // The face covers the annunciators it reached; the timer's next tick
    // draws them again.
    if (region.intersects(AnnunciatorRow::Area()))
        Annunciators.Forget();
    // The latest LCD picture first: the library's refresh draws nothing
    // while its render thread is busy, and that thread's picture is then on
    // its way but not here yet.
    Lcd.DrawInto(Backing);
    KHRefreshDisplay();
    update(region);
}

void CSkinWnd::LcdPictureArrived()
{
    update(Lcd.DrawInto(Backing));
}

void CSkinWnd::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const QRect area = event->rect();
    painter.drawImage(area.topLeft(), Backing, area);
}

void CSkinWnd::closeEvent(QCloseEvent* event)
{
    event->accept();
    OnDestroy();
}

void CSkinWnd::dragEnterEvent(QDragEnterEvent* event)
{
    // The window takes drops, but nothing handles a dropped file.
    event->ignore();
}

bool CSkinWnd::focusNextPrevChild(bool)
{
    // Tab is a calculator key, not a move between controls.
    return false;
}

// Dragging: the window has no caption, so a drag anywhere moves it.

void CSkinWnd::ArmDrag(QPoint point)
{
    DragOrigin = point;
    DragArmed = true;
    grabMouse();
}

void CSkinWnd::OnRButtonDown(QPoint point)
{
    ArmDrag(point);
}

void CSkinWnd::OnMouseMove(QPoint point)
{
    if (!DragArmed)
        return;
    if (Dragging) {
        move(DraggedWindowPosition(pos(), DragOrigin, point));
    } else if (DragStarted(DragOrigin, point)) {
        Dragging = true;
        grabMouse();
    }
}

void CSkinWnd::FinishDrag()
{
    DragArmed = false;
    Dragging = false;
    SnapToScreenEdges();
}

void CSkinWnd::OnRButtonUp(QPoint point)
{
    releaseMouse();
    if (Dragging) {
        FinishDrag();
    } else if (DragArmed) {
        DragArmed = false;
        PressKeyAt(point);
    }
}

void CSkinWnd::SnapToScreenEdges()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect window = frameGeometry();
    const QPoint snapped = pelrin::SnapToScreenEdges(window, screen->geometry().size());
    if (snapped != window.topLeft())
        move(snapped);
}

void CSkinWnd::mousePressEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        OnLButtonDown(point);
    else if (event->button() == Qt::RightButton)
        OnRButtonDown(point);
}

void CSkinWnd::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        OnLButtonUp(point);
    else if (event->button() == Qt::RightButton)
        OnRButtonUp(point);
}

void CSkinWnd::mouseMoveEvent(QMouseEvent* event)
{
    // Client coordinates against the window's position as this side knows
    // it: while the window moves, the X server may already have it elsewhere,
    // and the event's own local position would then jump.
    OnMouseMove(event->globalPosition().toPoint() - pos());
}

} // namespace pelrin
