// The popup menu, its commands and the annunciator timer.
#include <QContextMenuEvent>
#include <QTimerEvent>

#include "korvane.h"
#include "ui/about_dlg.h"
#include "ui/annunciators.h"
#include "ui/commands.h"
#include "ui/console_dlg.h"
#include "ui/popup_menu.h"
#include "ui/skin_wnd.h"

namespace pelrin {

void CSkinWnd::OnContextMenu(QPoint screenPoint)
{
    if (!PopupMenu)
        return;
    if (QAction* chosen = PopupMenu->exec(screenPoint))
        OnCommand(CommandOf(chosen), 0);
}

void CSkinWnd::contextMenuEvent(QContextMenuEvent* event)
{
    // A right click opens the menu on its release, outside the keys only
    // (PressKeyAt); here only the keyboard's menu key does.
    if (event->reason() == QContextMenuEvent::Mouse)
        return;
    OnContextMenu(event->globalPos());
}

bool CSkinWnd::OnCommand(uint32_t command, uintptr_t)
{
    switch (command) {
    case CmdAbout: {
        CAboutDlg about;
        about.exec();
        return true;
    }
    case CmdLoadWithKermit:
        LoadObjectWithKermit();
        return true;
    case CmdLoadWithXModem:
        LoadObjectWithXModem();
        return true;
    case CmdLoadOnStack:
        LoadObjectOnStack();
        return true;
    case CmdLoadInPort1:
        LoadObjectInPort1();
        return true;
    case CmdLoadState:
        LoadStateFile();
        return true;
    case CmdSaveState:
        SaveStateFile();
        return true;
    case CmdConsole:
        // Also the way back to the console after a file transfer.
        TransferMode = 0;
        if (Console) {
            Console->show();
            Console->raise();
            Console->activateWindow();
        }
        return true;
    case CmdStart:
        KVRun();
        return true;
    case CmdStop:
        KVStop();
        return true;
    case CmdReset:
        KVReset();
        KVRun();
        return true;
    case CmdMinimize:
        showMinimized();
        return true;
    case CmdQuit:
        // Closed from the event loop, after the command's own caller is done.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return true;
    default:
        return false;
    }
}

void CSkinWnd::OnTimer()
{
    update(Annunciators.Refresh(Backing, SkinDC, KVGetAnnunciators()));
}

void CSkinWnd::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == Timer.timerId())
        OnTimer();
    else
        QWidget::timerEvent(event);
}

} // namespace pelrin
