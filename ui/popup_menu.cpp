#include "ui/popup_menu.h"

#include "ui/commands.h"

namespace pelrin {

namespace {

void AddCommand(QMenu* menu, const char* caption, uint32_t command)
{
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    action->setData(command);
}

} // namespace

QMenu* BuildPopupMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    AddCommand(menu, "Korvane", CmdAbout);
    menu->addSeparator();

    QMenu* object = menu->addMenu(QStringLiteral("&Object"));
    AddCommand(object, "Load with &Kermit", CmdLoadWithKermit);
    AddCommand(object, "Load with &XModem", CmdLoadWithXModem);
    AddCommand(object, "Load on &Stack", CmdLoadOnStack);
    AddCommand(object, "Load in Port &1", CmdLoadInPort1);

    QMenu* state = menu->addMenu(QStringLiteral("&State"));
    AddCommand(state, "&Load", CmdLoadState);
    AddCommand(state, "&Save", CmdSaveState);

    QMenu* engine = menu->addMenu(QStringLiteral("&Engine"));
    AddCommand(engine, "&Start", CmdStart);
    AddCommand(engine, "S&top", CmdStop);
    AddCommand(engine, "&Reset", CmdReset);

    AddCommand(menu, "&Console", CmdConsole);
    AddCommand(menu, "&Minimize", CmdMinimize);
    AddCommand(menu, "&Quit", CmdQuit);
    return menu;
}

uint32_t CommandOf(const QAction* action)
{
    return action ? action->data().toUInt() : 0;
}

} // namespace pelrin
